// Hosts that break the one-thread contract or the order of calls, end to end through vishost and
// its ledger: Render from a second thread while the window's own thread draws the banner (its
// timer flooded) and the user closes the window with frames in flight; Quit from the player's
// thread while the window's thread takes its messages or is blocked; a player thread that stops
// taking messages while the banner asks it for the title; Quit without Init.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "history/title_banner.h"
#include "ledger_expectations.h"
#include "vishost/options.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

using vishost::CycleRecord;
using vishost::Report;

constexpr int kHistory = 0;
constexpr int kOscilloscope = 1;
constexpr int kVuMeter = 2;

class HostContract : public ::testing::Test {
  protected:
    Report run(int module, std::vector<std::string> extra) const {
        std::vector<std::string> args{folder_.dll(), "--module", std::to_string(module),
                                      "--signal",    "noise",    "--no-delay"};
        args.insert(args.end(), extra.begin(), extra.end());
        return vishost::runSession(vishost::parseCommandLine(args));
    }

    PluginFolder folder_{LUMACORE_DLL_PATH};
};

// LUMACORE_LONG_RUNS=1 runs forty times the cycles (over 100,000 frames of the display).
TEST_F(HostContract, RenderFromASecondThreadLeavesNothingBehind) {
    const struct {
        const char* name;
        int module;
        int cycles;
        std::vector<std::string> args;
    } cases[] = {
        {"display, banner timer flooded, closed with frames in flight",
         kHistory,
         6,
         {"--render-thread", "--flood-timer", "--count", "700", "--at", "400:close"}},
        {"display, banner timer flooded, resized and toggled",
         kHistory,
         1,
         {"--render-thread", "--flood-timer", "--count", "1500", "--at", "100:resize:300,200",
          "--at", "300:key:tab", "--at", "600:key:escape", "--at", "900:command:1010"}},
        {"oscilloscope closed with frames in flight",
         kOscilloscope,
         8,
         {"--render-thread", "--count", "400", "--at", "150:close"}},
        {"VU meter closed with frames in flight",
         kVuMeter,
         8,
         {"--render-thread", "--count", "400", "--at", "150:close"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        args.insert(args.end(),
                    {"--cycles", std::to_string(longRuns() ? 40 * c.cycles : c.cycles)});
        const Report report = run(c.module, args);
        EXPECT_TRUE(report.errors.empty()) << report.errors.front();
        for (const CycleRecord& cycle : report.cycles) {
            ASSERT_EQ(cycle.initResult, 0) << "cycle " << cycle.index;
            EXPECT_GT(cycle.framesRendered, 100) << "cycle " << cycle.index;
        }
        expectNothingLeft(report);
        std::printf("[figures] %s: %zu cycles, %lld frames\n", c.name, report.cycles.size(),
                    report.totalFrames);
    }
}

TEST_F(HostContract, QuitFromThePlayersThreadClosesTheWindowsOnTheirOwnThread) {
    const struct {
        const char* name;
        int module;
        std::vector<std::string> args;
        const char* savedKey;
    } cases[] = {
        {"display and its dialog, the window's thread taking messages",
         kHistory,
         {"--quit-thread", "pumping", "--cycles", "3", "--count", "4", "--at", "1:command:1010"},
         "Posx="},
        {"display rendered from a second thread too",
         kHistory,
         {"--quit-thread", "pumping", "--render-thread", "--cycles", "3", "--count", "200"},
         "Posx="},
        {"oscilloscope, the window's thread taking messages",
         kOscilloscope,
         {"--quit-thread", "pumping", "--cycles", "3", "--count", "4"},
         "Screen_x="},
        {"display and its dialog, the window's thread blocked until Quit returns",
         kHistory,
         {"--quit-thread", "blocked", "--cycles", "2", "--count", "4", "--at", "1:command:1010"},
         "Posx="},
        {"VU meter, the window's thread blocked until Quit returns",
         kVuMeter,
         {"--quit-thread", "blocked", "--cycles", "2", "--count", "4"},
         "Screen_x="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PluginFolder folder(LUMACORE_DLL_PATH);
        std::vector<std::string> args{folder.dll(), "--module", std::to_string(c.module),
                                      "--signal",   "noise",    "--no-delay"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Report report = vishost::runSession(vishost::parseCommandLine(args));
        EXPECT_TRUE(report.errors.empty()) << report.errors.front();
        // Every later Init found the class unregistered: no "Error registering window class".
        EXPECT_TRUE(report.messageBoxes.empty()) << *report.messageBoxes.front().text;
        double longestQuit = 0.0;
        for (const CycleRecord& cycle : report.cycles) {
            ASSERT_EQ(cycle.initResult, 0) << "cycle " << cycle.index;
            // A window's thread that cannot answer delays Quit by a bounded wait, not for ever.
            EXPECT_LT(cycle.quitMs, 5000.0) << "cycle " << cycle.index;
            longestQuit = std::max(longestQuit, cycle.quitMs);
        }
        expectNothingLeft(report);
        std::printf("[figures] %s: %zu cycles, Quit took at most %.0f ms\n", c.name,
                    report.cycles.size(), longestQuit);
        EXPECT_NE(folder.readSettings().find(c.savedKey), std::string::npos);
    }
}

// The player's thread waits for the vis thread without taking messages, as a player stopping
// the module may; the banner's question about the title must not hold the vis thread, so its
// frames and Quit are over long before the player takes its messages again.
TEST_F(HostContract, ABusyPlayerThreadHoldsNeitherTheBannerNorQuit) {
    const std::string dump = tempFile("busy-banner.bmp");
    const Report report =
        run(kHistory, {"--signal", "silence", "--busy-main", "4500", "--count", "3", "--title",
                       "Busy Player", "--at", "1:timer", "--at", "2:dump:" + dump});
    const Picture picture = readBmp(dump);
    DeleteFileA(dump.c_str());
    EXPECT_TRUE(report.visEndedWhileBusy);
    EXPECT_LT(report.busyMainMs, 1000.0);
    EXPECT_TRUE(report.quitCalled);
    ASSERT_EQ(report.cycles.size(), 1u);
    EXPECT_LT(report.cycles[0].quitMs, 1000.0);
    std::printf(
        "[figures] busy player thread: the vis thread ended after %.0f ms, Quit took %.0f ms\n",
        report.busyMainMs, report.cycles[0].quitMs);
    // The banner strip was cleared and drawn without a title, as for a null one.
    ASSERT_GT(picture.height, 0);
    int lit = 0;
    for (int y = bannerTop(picture.height); y < picture.height; ++y)
        for (int x = 0; x < picture.width - 160; ++x)
            lit += picture.at(x, y) != 0;
    EXPECT_EQ(lit, 0);
}

TEST_F(HostContract, QuitAloneLeavesTheSettingsFileByteForByte) {
    const std::string settings = "[Lumacor 3D]\r\nPosx=100\r\nPosy=80\r\nSizex=400\r\n"
                                 "Sizey=300\r\n3D=0\r\nSpeed=150\r\nBrightness=150\r\n"
                                 "[Oscilliscope]\r\nScreen_x=300\r\nScreen_y=120\r\n"
                                 "[VU Meter]\r\nScreen_x=310\r\nScreen_y=130\r\n";
    for (const int module : {kHistory, kOscilloscope, kVuMeter}) {
        SCOPED_TRACE(module);
        folder_.writeSettings(settings);
        const Report alone = run(module, {"--quit-only"});
        EXPECT_TRUE(alone.quitCalled);
        EXPECT_FALSE(alone.initCalled);
        EXPECT_EQ(folder_.readSettings(), settings);

        // A Quit alone after a whole run in the same load writes nothing either.
        HMODULE held = LoadLibraryA(folder_.dll().c_str());
        ASSERT_NE(held, nullptr);
        run(module, {"--count", "2"});
        folder_.writeSettings(settings);
        run(module, {"--quit-only"});
        FreeLibrary(held);
        EXPECT_EQ(folder_.readSettings(), settings);
    }
    // Without a settings file, none is made.
    DeleteFileA(folder_.settingsFile().c_str());
    run(kHistory, {"--quit-only"});
    EXPECT_EQ(GetFileAttributesA(folder_.settingsFile().c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace lumacore::testing
