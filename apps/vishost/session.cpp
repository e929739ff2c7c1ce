#include "session.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include <windows.h>

#include <psapi.h>

#include "host_window.h"
#include "message_boxes.h"
#include "module_run.h"
#include "owned_handle.h"
#include "plugin.h"
#include "resource_ledger.h"
#include "signals.h"

namespace lumacore::vishost {
namespace {

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

// --busy-main: the player's thread, once Init has returned, waits for the vis thread without
// taking its messages, for at most `milliseconds`, as a player does that stops the module and
// waits for its thread to end.
void stayBusy(HANDLE visThread, int milliseconds, Report& report, bool first) {
    const auto start = std::chrono::steady_clock::now();
    const bool ended =
        WaitForSingleObject(visThread, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
    const double busy =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    report.busyMainMs = first ? busy : std::max(report.busyMainMs, busy);
    report.visEndedWhileBusy = ended && (first || report.visEndedWhileBusy);
}

// The player's main thread while the vis thread runs: answers what the plug-in sends to the
// player window, takes what it posts there, and calls Config or Quit when the run asks for it.
void runOnVisThread(ModuleRun& run, Report& report, PlayerLink& link, winampVisModule& module,
                    const Options& options) {
    ResetEvent(link.initReturned.get());
    const OwnedHandle thread(CreateThread(nullptr, 0, visThreadMain, &run, 0, nullptr));
    if (!thread.get()) {
        report.errors.push_back("cannot start the vis thread");
        return;
    }
    const HANDLE handles[] = {thread.get(), link.configRequests.get(), link.quitRequest.get(),
                              link.initReturned.get()};
    bool busyAhead = options.busyMainMs > 0;
    for (;;) {
        const DWORD count = busyAhead ? 4 : 3;
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0 + count) {
            pumpMessages();
        } else if (woken == WAIT_OBJECT_0 + 1) {
            module.Config(&module);
            ++report.playerConfigs;
        } else if (woken == WAIT_OBJECT_0 + 2) {
            module.Quit(&module);
            SetEvent(link.quitReturned.get());
        } else if (woken == WAIT_OBJECT_0 + 3) {
            busyAhead = false;
            stayBusy(thread.get(), options.busyMainMs, report, run.cycleIndex() == 0);
        } else {
            if (woken != WAIT_OBJECT_0) WaitForSingleObject(handles[0], INFINITE);
            break;
        }
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
    if (!link.ready()) {
        report.errors.push_back("cannot create the events shared with the vis thread");
        return report;
    }
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
                runOnVisThread(run, report, link, *module, options);
            } else {
                run.run();
            }
            CycleRecord record = run.record();
            noteProcessFigures(record);
            report.cycles.push_back(record);
            if (options.configOnly || options.quitOnly) break;
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
    if (report.endReason == "config-only" || report.endReason == "quit-only")
        return report.errors.empty() ? 0 : 1;
    if (!report.initCalled) return 3;
    if (report.initResult != 0 || report.endReason == "frames-error" || !report.errors.empty())
        return 1;
    for (const ActionRecord& action : report.actions)
        if (!action.error.empty()) return 1;
    return 0;
}

} // namespace lumacore::vishost
