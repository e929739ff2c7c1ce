#include "session.h"

#include <atomic>
#include <memory>
#include <optional>
#include <random>

#include <windows.h>

#include <psapi.h>

#include "host_window.h"
#include "message_boxes.h"
#include "owned_handle.h"
#include "plugin.h"
#include "plugin_windows.h"
#include "random_actions.h"
#include "resource_ledger.h"
#include "signals.h"

namespace lumacore::vishost {
namespace {

// After WM_QUIT, what is still queued; bounded in case a plug-in keeps quitting.
void drainMessages() {
    for (int round = 0; round < 100 && !pumpMessages(); ++round) {
    }
}

// What the run shares with the player's own thread: the frames rendered, and its requests to
// have the player call Config (a counting semaphore, so that none is lost).
struct PlayerLink {
    std::atomic<int> frames{0};
    OwnedHandle configRequests{CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr)};
};

// The process's memory and handles after a cycle.
void noteProcessFigures(CycleRecord& cycle) {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        cycle.workingSetBytes = memory.WorkingSetSize;
        cycle.privateBytes = memory.PrivateUsage;
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles)) cycle.handles = handles;
}

// The module's side of one cycle, on the thread that plays the player's vis thread.
class ModuleRun {
  public:
    ModuleRun(const Options& options, Report& report, FrameSource& source, HMODULE plugin,
              winampVisModule& module, HWND player, PlayerLink& link, const ResourceLedger& ledger,
              int cycle)
        : options_(options), report_(report), source_(source), plugin_(plugin), module_(module),
          player_(player), link_(link), ledger_(ledger), cycle_(cycle),
          random_(options.randomSeed ? *options.randomSeed + static_cast<unsigned>(cycle) : 0) {}

    void run() {
        runCycle();
        record_.alive = ledger_.alive();
        windowsAfterQuit_ = ledger_.liveWindows();
        record_.framesRendered = report_.framesRendered;
        record_.endReason = report_.endReason;
        record_.initResult = report_.initResult;
    }

    // The cycle's record once it is over (the vis thread ended, the player's queue drained).
    // Windows alive after Quit count as left behind when they belonged to the vis thread (its
    // end destroyed them) or still exist now; a window of the player's thread that was asked to
    // destroy itself and did is not.
    CycleRecord record() const {
        CycleRecord record = record_;
        record.alive.windows = 0;
        for (const LiveWindow& live : windowsAfterQuit_)
            if ((options_.threaded && live.thread == visThread_) || IsWindow(live.window))
                ++record.alive.windows;
        return record;
    }

  private:
    bool lastCycle() const { return cycle_ + 1 >= options_.cycles; }

    void runCycle() {
        visThread_ = GetCurrentThreadId();
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // gives the thread its message queue
        if (options_.configOnly) {
            // The player's configuration command while the module is not running.
            module_.Config(&module_);
            report_.endReason = "config-only";
            drainMessages();
            return;
        }
        record_.index = cycle_;
        report_.framesRendered = 0;
        report_.quitCalled = false;
        link_.frames.store(0);
        report_.initCalled = true;
        report_.initResult = module_.Init(&module_);
        if (report_.initResult != 0) {
            report_.endReason = "init-failed";
            if (lastCycle()) snapshot("end");
            drainMessages();
            return;
        }
        frameLoop();
        if (lastCycle()) snapshot("end");
        module_.Quit(&module_);
        report_.quitCalled = true;
        drainMessages();
    }

    void frameLoop() {
        Frame frame;
        for (int k = 0;; ++k) {
            const bool totalReached =
                options_.totalFrames > 0 && report_.totalFrames >= options_.totalFrames;
            if ((options_.count && k >= *options_.count) || totalReached) {
                report_.endReason = "count";
                runActions(k);
                return;
            }
            bool more = false;
            try {
                more = source_.next(frame);
            } catch (const FramesError& error) {
                report_.errors.push_back(error.what());
                report_.endReason = "frames-error";
                return;
            }
            if (!more) {
                report_.endReason = "frames-ended";
                runActions(k);
                return;
            }
            runActions(k);
            if (!quit_) pump();
            if (quit_) {
                report_.endReason = "quit-message";
                return;
            }
            loadFrame(frame, module_);
            const int result = module_.Render(&module_);
            report_.framesRendered = k + 1;
            ++report_.totalFrames;
            link_.frames.store(k + 1);
            report_.lastRenderResult = result;
            if (options_.playerConfigEvery > 0 && (k + 1) % options_.playerConfigEvery == 0)
                askPlayerForConfig();
            if (result != 0) {
                report_.endReason = "render-returned";
                return;
            }
            if (!options_.noDelay && module_.delayMs > 0)
                Sleep(static_cast<DWORD>(module_.delayMs));
        }
    }

    void pump() {
        if (!pumpMessages()) quit_ = true;
    }

    // The player's thread calls Config when it gets to it; without one, it happens here.
    void askPlayerForConfig() {
        if (options_.threaded) {
            ReleaseSemaphore(link_.configRequests.get(), 1, nullptr);
            return;
        }
        module_.Config(&module_);
        ++report_.playerConfigs;
    }

    ActionTarget targetFor(int k) {
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

    // All of the frame's actions run, even after a quit message: it ends the loop only after
    // them, so that a script can act on a display its user has just closed.
    void runActions(int k) {
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
            const std::optional<Action> action =
                randomAction(random_, {visThread_, player_, plugin_});
            if (!action) return;
            ActionTarget target = targetFor(k);
            applyAction(*action, target); // a dialog already gone, say, is part of the game
            ++report_.randomActions;
            if (!quit_) pump();
        }
    }

    void snapshot(const std::string& label) {
        report_.snapshots.push_back(
            takeSnapshot({visThread_, player_, plugin_}, label, report_.framesRendered));
    }

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
    bool quit_ = false;
};

DWORD WINAPI visThreadMain(void* parameter) {
    static_cast<ModuleRun*>(parameter)->run();
    return 0;
}

// The player's main thread while the vis thread runs: answers what the plug-in sends to the
// player window, takes what it posts there, and calls Config when the run asks for it.
void runOnVisThread(ModuleRun& run, Report& report, PlayerLink& link, winampVisModule& module) {
    DWORD id = 0;
    const OwnedHandle thread(CreateThread(nullptr, 0, visThreadMain, &run, 0, &id));
    if (!thread.get()) {
        report.errors.push_back("cannot start the vis thread");
        return;
    }
    const HANDLE handles[] = {thread.get(), link.configRequests.get()};
    const DWORD waitFor = handles[1] ? 2 : 1;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(waitFor, handles, INFINITE, QS_ALLINPUT,
                                                        MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + waitFor) {
            pumpMessages();
            continue;
        }
        if (woken == WAIT_OBJECT_0 + 1 && waitFor == 2) {
            module.Config(&module);
            ++report.playerConfigs;
            continue;
        }
        if (woken != WAIT_OBJECT_0) WaitForSingleObject(handles[0], INFINITE);
        break;
    }
    drainMessages();
}

} // namespace

Report runSession(const Options& options) {
    Report report;
    report.pluginPath = options.pluginPath;
    report.moduleIndex = options.module;
    report.threaded = options.threaded;
    for (const ScheduledAction& scheduled : options.actions)
        report.actions.push_back({scheduled.frame, scheduled.action.text, false, ""});

    std::unique_ptr<FrameSource> source;
    try {
        source = std::make_unique<FrameSource>(options.framesPath, options.signal);
        report.source = source->description();
    } catch (const FramesError& error) {
        report.errors.push_back(error.what());
        return report;
    }

    std::optional<PluginLibrary> plugin;
    try {
        plugin.emplace(options.pluginPath);
    } catch (const std::exception& error) {
        report.errors.push_back(error.what());
        return report;
    }
    report.loaded = true;
    report.headerVersion = plugin->header().version;
    report.headerDescription = plugin->header().description ? plugin->header().description : "";
    winampVisModule* module = plugin->module(options.module);
    if (!module) {
        report.errors.push_back("the plug-in has no module " + std::to_string(options.module));
        return report;
    }
    report.moduleDescription = module->description ? module->description : "";

    PlayerLink link;
    try {
        const MessageBoxRedirect boxes(plugin->handle(), &link.frames);
        report.messageBoxHooked = boxes.installed();
        const ResourceLedger ledger(plugin->handle());
        const HostWindow player(options.playlist, options.listPos, &link.frames);

        module->hwndParent = player.handle();
        module->hDllInstance = plugin->handle();
        module->sRate = static_cast<int>(source->sampleRate());
        module->nCh = 2;
        const auto totalReached = [&] {
            return options.totalFrames > 0 && report.totalFrames >= options.totalFrames;
        };
        for (int cycle = 0; cycle < options.cycles && !totalReached(); ++cycle) {
            ModuleRun run(options, report, *source, plugin->handle(), *module, player.handle(),
                          link, ledger, cycle);
            if (options.threaded) {
                runOnVisThread(run, report, link, *module);
            } else {
                run.run();
            }
            CycleRecord record = run.record();
            noteProcessFigures(record);
            report.cycles.push_back(record);
            if (options.configOnly) break;
        }
        report.messages = player.messages();
        report.messageBoxes = boxes.records();
        report.resources = ledger.report();
    } catch (const std::exception& error) {
        report.errors.push_back(error.what());
    }

    for (ActionRecord& action : report.actions)
        if (!action.applied)
            action.error = "not reached: the run ended after " +
                           std::to_string(report.framesRendered) + " frames";
    return report;
}

int exitCodeFor(const Report& report) {
    if (report.endReason == "config-only") return report.errors.empty() ? 0 : 1;
    if (!report.initCalled) return 3;
    if (report.initResult != 0 || report.endReason == "frames-error" || !report.errors.empty())
        return 1;
    for (const ActionRecord& action : report.actions)
        if (!action.error.empty()) return 1;
    return 0;
}

} // namespace lumacore::vishost
