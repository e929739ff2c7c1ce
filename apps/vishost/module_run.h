// One cycle of a module's run on the thread that plays the player's vis thread: Init, the frames
// with their actions, Quit, and the record of what the plug-in left behind. The frames are
// rendered on this thread or, with --render-thread, on a second one while this thread takes its
// windows' messages; Quit is called here or, with --quit-thread, by the player's own thread.
#pragma once

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include <windows.h>

#include "options.h"
#include "owned_handle.h"
#include "report.h"
#include "resource_ledger.h"
#include "signals.h"

namespace lumacore::vishost {

// What a run shares with the player's own thread: the frames rendered, its requests to have the
// player call Config (a counting semaphore, so that none is lost) or Quit, and the news that
// Init has returned.
struct PlayerLink {
    std::atomic<int> frames{0};
    OwnedHandle configRequests{CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr)};
    OwnedHandle quitRequest{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    OwnedHandle quitReturned{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    OwnedHandle initReturned{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    bool ready() const {
        return configRequests.get() && quitRequest.get() && quitReturned.get() &&
               initReturned.get();
    }
};

class ModuleRun {
  public:
    ModuleRun(const Options& options, Report& report, FrameSource& source, HMODULE plugin,
              winampVisModule& module, HWND player, PlayerLink& link, const ResourceLedger& ledger,
              int cycle);
    ModuleRun(const ModuleRun&) = delete;
    ModuleRun& operator=(const ModuleRun&) = delete;

    // The whole cycle, on the calling thread.
    void run();
    int cycleIndex() const { return cycle_; }

    // The cycle's record once it is over (the vis thread ended, the player's queue drained).
    // Windows alive after Quit count as left behind when they belonged to the vis thread (its
    // end destroyed them) or still exist now; a window of the player's thread that was asked to
    // destroy itself and did is not.
    CycleRecord record() const;

  private:
    bool lastCycle() const { return cycle_ + 1 >= options_.cycles; }
    void runCycle();
    bool frameDue(int k);
    bool nextFrame(Frame& frame);
    // Renders frame k (its data already loaded); false when the module asked to stop.
    bool render(int k);
    void frameLoop();
    void renderOnSecondThread();
    void renderFrames(); // on the second thread
    static DWORD WINAPI renderThreadMain(void* self);
    void quit();
    void pump();
    void postTimer();
    void askPlayerForConfig();
    ActionTarget targetFor(int k);
    void runActions(int k);
    void snapshot(const std::string& label);

    const Options& options_;
    Report& report_;
    FrameSource& source_;
    HMODULE plugin_;
    winampVisModule& module_;
    HWND player_;
    PlayerLink& link_;
    const ResourceLedger& ledger_;
    const int cycle_;
    std::mt19937 random_;
    CycleRecord record_;
    std::vector<LiveWindow> windowsAfterQuit_;
    DWORD visThread_ = 0;
    HWND window_ = nullptr; // the plug-in's window after Init, for the flooded timer
    bool quit_ = false;
    // The render thread's side: frames rendered so far, the request to stop, why it stopped.
    std::atomic<int> rendered_{0};
    std::atomic<bool> stopRendering_{false};
    OwnedHandle frameRendered_{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::string renderEnd_;
    std::string renderError_;
};

DWORD WINAPI visThreadMain(void* moduleRun);

// After WM_QUIT, what is still queued; bounded in case a plug-in keeps quitting.
void drainMessages();

} // namespace lumacore::vishost
