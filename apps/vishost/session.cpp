#include "session.h"

#include <atomic>
#include <memory>
#include <optional>

#include <windows.h>

#include "host_window.h"
#include "message_boxes.h"
#include "plugin.h"
#include "plugin_windows.h"
#include "signals.h"

namespace lumacore::vishost {
namespace {

class ThreadHandle {
  public:
    explicit ThreadHandle(HANDLE handle) : handle_(handle) {}
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    ~ThreadHandle() {
        if (handle_) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

// After WM_QUIT, what is still queued; bounded in case a plug-in keeps quitting.
void drainMessages() {
    for (int round = 0; round < 100 && !pumpMessages(); ++round) {
    }
}

// The module's side of the run, on the thread that plays the player's vis thread.
class ModuleRun {
  public:
    ModuleRun(const Options& options, Report& report, FrameSource& source, HMODULE plugin,
              winampVisModule& module, HWND player, std::atomic<int>& frames)
        : options_(options), report_(report), source_(source), plugin_(plugin), module_(module),
          player_(player), frames_(frames) {}

    void run() {
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
        report_.initCalled = true;
        report_.initResult = module_.Init(&module_);
        if (report_.initResult != 0) {
            report_.endReason = "init-failed";
            snapshot("end");
            drainMessages();
            return;
        }
        frameLoop();
        snapshot("end");
        module_.Quit(&module_);
        report_.quitCalled = true;
        drainMessages();
    }

  private:
    void frameLoop() {
        Frame frame;
        for (int k = 0;; ++k) {
            if (options_.count && k >= *options_.count) {
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
            frames_.store(k + 1);
            report_.lastRenderResult = result;
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

    // All of the frame's actions run, even after a quit message: it ends the loop only after
    // them, so that a script can act on a display its user has just closed.
    void runActions(int k) {
        for (std::size_t i = 0; i < options_.actions.size(); ++i) {
            if (options_.actions[i].frame != k) continue;
            ActionTarget target;
            target.visThread = visThread_;
            target.player = player_;
            target.plugin = plugin_;
            target.module = &module_;
            target.frame = k;
            target.dumps = &report_.dumps;
            target.snapshots = &report_.snapshots;
            target.pump = [this] { pump(); };
            ActionRecord& record = report_.actions[i];
            record.error = applyAction(options_.actions[i].action, target);
            record.applied = true;
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
    std::atomic<int>& frames_;
    DWORD visThread_ = 0;
    bool quit_ = false;
};

DWORD WINAPI visThreadMain(void* parameter) {
    static_cast<ModuleRun*>(parameter)->run();
    return 0;
}

// The player's main thread while the vis thread runs: answers what the plug-in sends to the
// player window and takes what it posts there.
void runOnVisThread(ModuleRun& run, Report& report) {
    DWORD id = 0;
    const ThreadHandle thread(CreateThread(nullptr, 0, visThreadMain, &run, 0, &id));
    if (!thread.get()) {
        report.errors.push_back("cannot start the vis thread");
        return;
    }
    HANDLE handle = thread.get();
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + 1) {
            pumpMessages();
            continue;
        }
        if (woken != WAIT_OBJECT_0) WaitForSingleObject(handle, INFINITE);
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

    std::atomic<int> frames{0};
    try {
        const MessageBoxRedirect boxes(plugin->handle(), &frames);
        report.messageBoxHooked = boxes.installed();
        const HostWindow player(options.playlist, options.listPos, &frames);

        module->hwndParent = player.handle();
        module->hDllInstance = plugin->handle();
        module->sRate = static_cast<int>(source->sampleRate());
        module->nCh = 2;
        ModuleRun run(options, report, *source, plugin->handle(), *module, player.handle(), frames);
        if (options.threaded) {
            runOnVisThread(run, report);
        } else {
            run.run();
        }
        report.messages = player.messages();
        report.messageBoxes = boxes.records();
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
