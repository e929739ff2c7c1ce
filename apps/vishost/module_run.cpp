// One cycle of a module's run: Init, the frames on this thread or a second one, the actions, Quit.
#include "module_run.h"

#include <chrono>

#include "host_window.h"
#include "plugin_windows.h"
#include "random_actions.h"

namespace lumacore::vishost {
namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

void drainMessages() {
    for (int round = 0; round < 100 && !pumpMessages(); ++round) {
    }
}

ModuleRun::ModuleRun(const Options& options, Report& report, FrameSource& source, HMODULE plugin,
                     winampVisModule& module, HWND player, PlayerLink& link,
                     const ResourceLedger& ledger, int cycle)
    : options_(options), report_(report), source_(source), plugin_(plugin), module_(module),
      player_(player), link_(link), ledger_(ledger), cycle_(cycle),
      random_(options.randomSeed ? *options.randomSeed + static_cast<unsigned>(cycle) : 0) {}

void ModuleRun::run() {
    runCycle();
    record_.alive = ledger_.alive();
    windowsAfterQuit_ = ledger_.liveWindows();
    record_.framesRendered = report_.framesRendered;
    record_.endReason = report_.endReason;
    record_.initResult = report_.initResult;
}

CycleRecord ModuleRun::record() const {
    CycleRecord record = record_;
    record.alive.windows = 0;
    for (const LiveWindow& live : windowsAfterQuit_)
        if ((options_.threaded && live.thread == visThread_) || IsWindow(live.window))
            ++record.alive.windows;
    return record;
}

void ModuleRun::runCycle() {
    visThread_ = GetCurrentThreadId();
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // gives the thread its message queue
    if (options_.configOnly || options_.quitOnly) {
        // The player's configuration command while the module is not running, or a player that
        // stops a module it never started.
        if (options_.configOnly) module_.Config(&module_);
        if (options_.quitOnly) {
            module_.Quit(&module_);
            report_.quitCalled = true;
        }
        report_.endReason = options_.configOnly ? "config-only" : "quit-only";
        drainMessages();
        return;
    }
    record_.index = cycle_;
    report_.framesRendered = 0;
    report_.quitCalled = false;
    link_.frames.store(0);
    rendered_.store(0);
    report_.initCalled = true;
    report_.initResult = module_.Init(&module_);
    SetEvent(link_.initReturned.get());
    if (report_.initResult != 0) {
        report_.endReason = "init-failed";
        if (lastCycle()) snapshot("end");
        drainMessages();
        return;
    }
    window_ = findPluginWindow({visThread_, player_, plugin_});
    if (options_.renderThread)
        renderOnSecondThread();
    else
        frameLoop();
    if (lastCycle()) snapshot("end");
    quit();
    drainMessages();
}

// Whether frame k is to be rendered; otherwise the reason the loop ends is noted.
bool ModuleRun::frameDue(int k) {
    const bool totalReached =
        options_.totalFrames > 0 && report_.totalFrames >= options_.totalFrames;
    if ((options_.count && k >= *options_.count) || totalReached) {
        report_.endReason = "count";
        return false;
    }
    return true;
}

bool ModuleRun::nextFrame(Frame& frame) {
    try {
        if (source_.next(frame)) return true;
        report_.endReason = "frames-ended";
    } catch (const FramesError& error) {
        renderError_ = error.what();
        report_.endReason = "frames-error";
    }
    return false;
}

bool ModuleRun::render(int k) {
    const int result = module_.Render(&module_);
    report_.framesRendered = k + 1;
    ++report_.totalFrames;
    link_.frames.store(k + 1);
    rendered_.store(k + 1);
    report_.lastRenderResult = result;
    if (options_.playerConfigEvery > 0 && (k + 1) % options_.playerConfigEvery == 0)
        askPlayerForConfig();
    if (result != 0) {
        report_.endReason = "render-returned";
        return false;
    }
    if (!options_.noDelay && module_.delayMs > 0) Sleep(static_cast<DWORD>(module_.delayMs));
    return true;
}

void ModuleRun::frameLoop() {
    Frame frame;
    for (int k = 0;; ++k) {
        if (!frameDue(k)) {
            runActions(k);
            return;
        }
        if (!nextFrame(frame)) {
            if (report_.endReason == "frames-ended") runActions(k);
            break;
        }
        runActions(k);
        if (options_.floodTimer) postTimer();
        if (!quit_) pump();
        if (quit_) {
            report_.endReason = "quit-message";
            return;
        }
        loadFrame(frame, module_);
        if (!render(k)) return;
    }
    if (!renderError_.empty()) report_.errors.push_back(renderError_);
}

// This thread takes its windows' messages and applies each frame's actions once that many
// frames are rendered, while the second thread renders; a quit message stops the renderer after
// the frame it is drawing.
void ModuleRun::renderOnSecondThread() {
    stopRendering_.store(false);
    renderEnd_.clear();
    const OwnedHandle renderer(CreateThread(nullptr, 0, renderThreadMain, this, 0, nullptr));
    if (!renderer.get() || !frameRendered_.get()) {
        report_.errors.push_back("cannot start the render thread");
        return;
    }
    const HANDLE handles[] = {renderer.get(), frameRendered_.get()};
    int nextActions = 0; // the frame whose actions are due next
    for (;;) {
        for (const int rendered = rendered_.load(); nextActions <= rendered; ++nextActions)
            runActions(nextActions);
        if (options_.floodTimer) postTimer();
        if (!quit_) pump();
        if (quit_) {
            stopRendering_.store(true);
            WaitForSingleObject(renderer.get(), INFINITE);
            break;
        }
        const DWORD wait = options_.floodTimer ? 0 : INFINITE;
        if (MsgWaitForMultipleObjectsEx(2, handles, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_OBJECT_0)
            break;
    }
    report_.endReason = renderEnd_;
    // As on one thread: the actions of the frame after the last one still run when the frames
    // ended by count or by the end of the file.
    if (renderEnd_ == "count" || renderEnd_ == "frames-ended")
        for (const int rendered = rendered_.load(); nextActions <= rendered; ++nextActions)
            runActions(nextActions);
    if (!renderError_.empty()) report_.errors.push_back(renderError_);
}

DWORD WINAPI ModuleRun::renderThreadMain(void* self) {
    static_cast<ModuleRun*>(self)->renderFrames();
    return 0;
}

void ModuleRun::renderFrames() {
    Frame frame;
    for (int k = 0;; ++k) {
        if (stopRendering_.load()) {
            report_.endReason = "quit-message";
            break;
        }
        if (!frameDue(k) || !nextFrame(frame)) break;
        loadFrame(frame, module_);
        const bool more = render(k);
        SetEvent(frameRendered_.get());
        if (!more) break;
    }
    renderEnd_ = report_.endReason;
}

void ModuleRun::quit() {
    const auto start = std::chrono::steady_clock::now();
    if (options_.quitThread == Options::QuitThread::Module) {
        module_.Quit(&module_);
    } else {
        // The player's thread calls Quit; this thread, which owns the windows, waits for it.
        SetEvent(link_.quitRequest.get());
        const HANDLE returned = link_.quitReturned.get();
        if (options_.quitThread == Options::QuitThread::PlayerBlocked)
            WaitForSingleObject(returned, INFINITE);
        else
            while (MsgWaitForMultipleObjectsEx(1, &returned, INFINITE, QS_ALLINPUT,
                                               MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0)
                pumpMessages();
    }
    record_.quitMs = millisecondsSince(start);
    report_.quitCalled = true;
}

void ModuleRun::pump() {
    if (!pumpMessages()) quit_ = true;
}

// A timer tick as the system would post it, to the window Init opened.
void ModuleRun::postTimer() {
    if (window_) PostMessageA(window_, WM_TIMER, 1, 0);
}

// The player's thread calls Config when it gets to it; without one, it happens here.
void ModuleRun::askPlayerForConfig() {
    if (options_.threaded) {
        ReleaseSemaphore(link_.configRequests.get(), 1, nullptr);
        return;
    }
    module_.Config(&module_);
    ++report_.playerConfigs;
}

ActionTarget ModuleRun::targetFor(int k) {
    ActionTarget target;
    target.visThread = visThread_;
    target.player = player_;
    target.plugin = plugin_;
    target.module = &module_;
    target.frame = k;
    target.dumps = &report_.dumps;
    target.snapshots = &report_.snapshots;
    target.pump = [this] { pump(); };
    return target;
}

// All of the frame's actions run, even after a quit message: it ends the loop only after them,
// so that a script can act on a display its user has just closed.
void ModuleRun::runActions(int k) {
    for (std::size_t i = 0; i < options_.actions.size(); ++i) {
        if (options_.actions[i].frame != k) continue;
        ActionTarget target = targetFor(k);
        ActionRecord& record = report_.actions[i];
        const std::string error = applyAction(options_.actions[i].action, target);
        if (!error.empty()) record.error = error; // a failure in any cycle stays reported
        record.applied = true;
        if (!quit_) pump();
    }
    if (options_.randomSeed) {
        const std::optional<Action> action = randomAction(random_, {visThread_, player_, plugin_});
        if (!action) return;
        ActionTarget target = targetFor(k);
        applyAction(*action, target); // a dialog already gone, say, is part of the game
        ++report_.randomActions;
        if (!quit_) pump();
    }
}

void ModuleRun::snapshot(const std::string& label) {
    report_.snapshots.push_back(
        takeSnapshot({visThread_, player_, plugin_}, label, rendered_.load()));
}

DWORD WINAPI visThreadMain(void* moduleRun) {
    static_cast<ModuleRun*>(moduleRun)->run();
    return 0;
}

} // namespace lumacore::vishost
