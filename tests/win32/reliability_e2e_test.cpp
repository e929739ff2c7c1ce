// A long life inside a player, through vishost: the plug-in's own GDI objects, device contexts,
// window classes, windows and timers, counted through its imports over 200 Init ... Quit cycles
// with full-screen toggles and the dialog, and a soak of random user actions while the player's
// thread calls Config. LUMACORE_LONG_RUNS=1 selects the long versions (300 frames a cycle; 100,000
// frames a module), whose figures are printed for the reliability notes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "ledger_expectations.h"
#include "vishost/options.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

using vishost::CycleRecord;
using vishost::Report;

class Reliability : public ::testing::TestWithParam<int> {
  protected:
    Report run(std::vector<std::string> extra) const {
        std::vector<std::string> args{folder_.dll(), "--module", std::to_string(GetParam()),
                                      "--signal",    "noise",    "--no-delay"};
        args.insert(args.end(), extra.begin(), extra.end());
        return vishost::runSession(vishost::parseCommandLine(args));
    }

    static void print(const char* what, const Report& report) {
        const auto& r = report.resources;
        const CycleRecord& first = report.cycles.front();
        std::uint64_t peakWorkingSet = 0;
        for (const CycleRecord& cycle : report.cycles)
            peakWorkingSet = std::max(peakWorkingSet, cycle.workingSetBytes);
        std::printf("[figures] module %d %s: %zu cycles, %lld frames, %lld random actions, %lld "
                    "player Configs; objects %lld created / %lld deleted, peak %d alive; DCs "
                    "%lld/%lld; windows %lld/%lld; classes %lld/%lld; working set %.1f MB after "
                    "the first cycle, %.1f MB after the last, %.1f MB at most\n",
                    GetParam(), what, report.cycles.size(), report.totalFrames,
                    report.randomActions, report.playerConfigs, r.objectsCreated, r.objectsDeleted,
                    r.peakObjects, r.dcsTaken, r.dcsReleased, r.windowsCreated, r.windowsDestroyed,
                    r.classesRegistered, r.classesUnregistered, first.workingSetBytes / 1048576.0,
                    report.cycles.back().workingSetBytes / 1048576.0, peakWorkingSet / 1048576.0);
    }

    PluginFolder folder_{LUMACORE_DLL_PATH};
};

TEST_P(Reliability, TwoHundredCyclesLeaveNothingBehind) {
    const int frames = longRuns() ? 300 : 40;
    std::vector<std::string> args{"--cycles",        "200", "--count", std::to_string(frames),
                                  "--player-config", "17"};
    // Full screen and back by key and by button, the dialog opened, used and closed, a resize,
    // a minimise, the banner's timer; the scope windows pass keys on and ignore commands.
    // (1010 and 1011 are the display's Configure and Full Screen buttons; 1000 its brightness
    // slider, 1008 the 2D choice, 1 OK.)
    for (const char* action :
         {"2:key:tab", "4:mouse:10,10", "5:command:1010", "7:slider:1000:40", "8:click:1008",
          "9:click:1", "11:key:escape", "13:command:1011", "15:char:13", "18:resize:300,200",
          "20:timer", "22:minimise", "24:restore", "26:invalidate"}) {
        args.push_back("--at");
        args.push_back(action);
    }
    const Report report = run(args);
    ASSERT_EQ(report.cycles.size(), 200u);
    for (const CycleRecord& cycle : report.cycles) {
        ASSERT_EQ(cycle.initResult, 0) << "cycle " << cycle.index;
        ASSERT_EQ(cycle.framesRendered, frames) << "cycle " << cycle.index;
    }
    EXPECT_EQ(report.resources.classesRegistered, 200);
    EXPECT_GT(report.playerConfigs, 0);
    expectNothingLeft(report);
    print("cycles", report);
}

TEST_P(Reliability, SoakOfRandomUserActionsWithConfigFromThePlayersThread) {
    const int total = longRuns() ? 100000 : 3000;
    const Report report =
        run({"--total", std::to_string(total), "--count", longRuns() ? "5000" : "1000", "--random",
             std::to_string(1000 + GetParam()), "--player-config", "97"});
    EXPECT_GE(report.totalFrames, total);
    EXPECT_GT(report.randomActions, total / 8);
    EXPECT_GT(report.playerConfigs, 0);
    for (const CycleRecord& cycle : report.cycles)
        ASSERT_EQ(cycle.initResult, 0) << "cycle " << cycle.index;
    expectNothingLeft(report);
    // Flat memory: what the process holds after the last cycle is within a few megabytes of what
    // it held after the first.
    ASSERT_FALSE(report.cycles.empty());
    const double growth = (static_cast<double>(report.cycles.back().workingSetBytes) -
                           static_cast<double>(report.cycles.front().workingSetBytes)) /
                          1048576.0;
    EXPECT_LT(growth, 16.0) << "working set grew by " << growth << " MB";
    print("soak", report);
}

std::string moduleName(const ::testing::TestParamInfo<int>& info) {
    static const char* const names[] = {"History", "Oscilloscope", "VuMeter"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Modules, Reliability, ::testing::Values(0, 1, 2), moduleName);

} // namespace
} // namespace lumacore::testing
