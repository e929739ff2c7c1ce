// What one vishost run observed: the module's lifecycle, every message the player window
// received, the message boxes the plug-in tried to show, the actions applied and the windows
// seen at each dump and at the end. The JSON log (json_log.h) is this record written out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacore::vishost {

// One message as the player window's procedure received it.
struct RecordedMessage {
    std::uint64_t sequence = 0; // shared with message boxes: the order of events in the run
    unsigned message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::int64_t result = 0;          // what the player window answered
    std::optional<std::string> title; // for IPC_GETPLAYLISTTITLE: the text it pointed to
    bool posted = false; // came through the message queue (PostMessage) rather than a send
    int frame = 0;       // frames rendered when it arrived
};

struct MessageBoxRecord {
    std::uint64_t sequence = 0;
    std::uintptr_t owner = 0;
    std::string ownerClass; // the owner's window class when the box was asked for
    std::optional<std::string> caption;
    std::optional<std::string> text;
    unsigned flags = 0;
    int answer = 0;
    int frame = 0;
};

struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct WindowSnapshot {
    std::uintptr_t handle = 0;
    // "window" (the plug-in's window), "dialog" (the open dialog), "other", or "control" (a
    // child of one of those, listed right after it)
    std::string role;
    std::string className;
    std::string title;
    WindowRect rect; // outer rectangle, screen coordinates
    int clientWidth = 0, clientHeight = 0;
    std::uint32_t style = 0, exStyle = 0;
    bool visible = false;
    bool topmost = false; // WS_EX_TOPMOST
    bool iconic = false;  // minimised
    std::uintptr_t owner = 0;
    std::string ownerRole; // "player", "none" or "window"
    // Controls only: the parent, the control id, the rectangle in the parent's client
    // coordinates, and the value a user sees (a button's check state, a trackbar's position).
    std::uintptr_t parent = 0;
    int controlId = 0;
    WindowRect clientRect;
    std::optional<int> value;
};

struct Snapshot {
    std::string label; // "dump:PATH", "dump-dialog:PATH" or "end"
    int frame = 0;
    std::vector<WindowSnapshot> windows;
};

struct ActionRecord {
    int frame = 0;
    std::string text; // as given on the command line, without the frame
    bool applied = false;
    std::string error; // empty when it went through
};

struct DumpRecord {
    int frame = 0;
    std::string path;
    bool dialog = false;
    int width = 0, height = 0;
    std::string error; // empty when the image was written
};

// The plug-in's platform resources alive at one moment, as its own calls created and freed them.
struct ResourceCounts {
    int objects = 0; // GDI objects: pens, brushes, fonts, bitmaps, regions
    int pens = 0;
    int brushes = 0;
    int fonts = 0;
    int dcs = 0; // device contexts taken (GetDC, BeginPaint, CreateCompatibleDC) and not given back
    int classes = 0; // window classes registered and not unregistered
    int windows = 0; // windows and dialogs it created that still exist
    int timers = 0;  // timers set and neither killed nor gone with their window
    bool operator==(const ResourceCounts&) const = default;
};

// What the plug-in did with platform resources over the whole run.
struct ResourceLedgerReport {
    bool hooked = false; // the plug-in's imports were redirected to the ledger
    long long objectsCreated = 0, objectsDeleted = 0;
    long long dcsTaken = 0, dcsReleased = 0;
    long long classesRegistered = 0, classesUnregistered = 0;
    long long windowsCreated = 0, windowsDestroyed = 0;
    long long timersSet = 0, timersKilled = 0;
    int peakObjects = 0;           // GDI objects of the plug-in alive at once
    int peakPensOnSurface = 0;     // the plug-in's live pens that one DC has held at once
    int peakBrushesOnSurface = 0;  // the same for brushes
    int deletedWhileSelected = 0;  // DeleteObject on an object still selected into a live DC
    int releasedHoldingObject = 0; // a DC given back with one of the plug-in's objects selected
    int unknownFrees = 0; // deletes and releases of handles the plug-in never created or took
    int crossThreadDestroys = 0; // DestroyWindow on another thread's window (refused)
    int deadDeletes = 0;         // DeleteObject on a handle that is no longer alive (it fails)
    // Drawing calls (and selections) on a DC the plug-in had given back, or never took
    long long callsOnReleasedDCs = 0;
    ResourceCounts alive; // after the last Quit
};

// One Init ... Quit of a run of several cycles, and the process's figures after it.
struct CycleRecord {
    int index = 0;
    int initResult = 0;
    int framesRendered = 0;
    std::string endReason;
    double quitMs = 0.0;  // how long Quit took, as its caller waited for it
    ResourceCounts alive; // right after Quit (or the failed Init), before the vis thread ends
    std::uint64_t workingSetBytes = 0;
    std::uint64_t privateBytes = 0;
    unsigned long handles = 0; // the process's kernel handles
};

struct Report {
    std::string pluginPath;
    bool loaded = false;
    int headerVersion = 0;
    std::string headerDescription;
    int moduleIndex = 0;
    std::string moduleDescription;
    bool threaded = true;
    std::string source;            // "signal:NAME" or "frames:PATH"
    bool messageBoxHooked = false; // the plug-in imports MessageBoxA and it was redirected

    bool initCalled = false;
    int initResult = 0;
    int framesRendered = 0;
    int lastRenderResult = 0;
    // Why the frame loop stopped: "count", "frames-ended", "quit-message", "render-returned",
    // "init-failed", "frames-error", "config-only", "quit-only" or "not-started".
    std::string endReason = "not-started";
    bool quitCalled = false;

    std::vector<RecordedMessage> messages;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<ActionRecord> actions;
    std::vector<DumpRecord> dumps;
    std::vector<Snapshot> snapshots;
    std::vector<std::string> errors;

    ResourceLedgerReport resources;
    std::vector<CycleRecord> cycles; // every cycle of the run; one for an ordinary run
    long long totalFrames = 0;       // over every cycle
    long long randomActions = 0;     // random actions applied (their errors are not failures)
    long long playerConfigs = 0;     // Config calls made from the player's own thread
    // --busy-main: how long the player's thread stayed away from its messages, and whether the
    // vis thread ended meanwhile (or only once the player took its messages again).
    double busyMainMs = 0.0;
    bool visEndedWhileBusy = false;
};

} // namespace lumacore::vishost
