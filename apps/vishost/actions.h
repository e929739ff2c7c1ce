// Scripted actions: what a user would do to the plug-in's windows, applied by the host just
// before a given frame is rendered. Grammar (one action per `--at K:ACTION`):
//   keydown:VK  keyup:VK  key:VK  char:CODE
//   command:ID[:NOTIFY]  timer[:ID]  mouse:X,Y  resize:W,H  move:X,Y  minimise  restore
//   close  config  invalidate
//   slider:ID:POS[:CODE]  click:ID  dump:PATH  dump-dialog:PATH
// VK is a number (decimal or 0x hex) or a key name (tab, escape, a..z, f1..f12, ...); CODE of
// char is a number or one character; CODE of slider is a number or a scroll name (thumbtrack,
// thumbposition, pageup, pagedown, lineup, linedown, endtrack).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "report.h"

namespace lumacore {
struct winampVisModule;
}

namespace lumacore::vishost {

enum class ActionKind {
    KeyDown,
    KeyUp,
    Key,
    Char,
    Command,
    Timer,
    Mouse,
    Resize,
    Move,
    Invalidate,
    Minimise,
    Restore,
    Close,
    Config,
    Slider,
    Click,
    Dump,
    DumpDialog,
};

struct Action {
    ActionKind kind = ActionKind::Close;
    // Numeric arguments in the order of the grammar (VK, ID, X/W, Y/H, POS, CODE, ...).
    int first = 0, second = 0, third = 0;
    std::string path; // dump targets
    std::string text; // the action as written
};

struct ScheduledAction {
    int frame = 0;
    Action action;
};

// Parses "ACTION" and "K:ACTION"; throws UsageError (options.h) with a one-line message.
Action parseAction(const std::string& text);
ScheduledAction parseScheduledAction(const std::string& text);

// Where actions land, and where their results go.
struct ActionTarget {
    DWORD visThread = 0;   // the thread that runs the module and owns its windows
    HWND player = nullptr; // the host's window, the module's hwndParent
    HMODULE plugin = nullptr;
    winampVisModule* module = nullptr;
    int frame = 0;
    std::vector<DumpRecord>* dumps = nullptr;
    std::vector<Snapshot>* snapshots = nullptr;
    // Takes the thread's pending messages through the host's loop (between a key's press and
    // its release, so that the press is translated first).
    std::function<void()> pump;
};

// Applies one action on the module's thread. Returns "" or what went wrong.
std::string applyAction(const Action& action, ActionTarget& target);

// The lParam of a key message for `vk` as a keyboard would give it (repeat count 1, scan code,
// extended-key flag; previous-state and transition bits for a release).
LPARAM keyLParam(int vk, bool release);

} // namespace lumacore::vishost
