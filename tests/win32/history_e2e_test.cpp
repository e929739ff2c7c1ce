// The spectrum-history display end to end: the real library, driven through vishost the way a
// player drives it, observed from outside (windows, messages, message boxes, pictures, the
// settings file).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "draw_scripts.h"
#include "e2e_support.h"
#include "frames/frames_file.h"
#include "vishost/actions.h"
#include "vishost/host_window.h"
#include "vishost/options.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

using vishost::Report;
using vishost::WindowSnapshot;

constexpr unsigned kWmUser = 0x400;
constexpr unsigned kWmKeyUp = 0x101;

class HistoryDisplay : public ::testing::Test {
  protected:
    // Runs module 0 on this thread, without waits, with these further arguments.
    Report run(std::vector<std::string> extra) const {
        std::vector<std::string> args{folder_.dll(), "--module", "0", "--single-thread",
                                      "--no-delay"};
        args.insert(args.end(), extra.begin(), extra.end());
        return vishost::runSession(vishost::parseCommandLine(args));
    }

    // The snapshot taken by the dump to `path`, or by the end of the run for "end".
    static const vishost::Snapshot* snapshot(const Report& report, const std::string& label) {
        for (const auto& s : report.snapshots)
            if (s.label == label) return &s;
        return nullptr;
    }
    static const WindowSnapshot* role(const vishost::Snapshot* s, const std::string& role) {
        if (s == nullptr) return nullptr;
        for (const auto& w : s->windows)
            if (w.role == role) return &w;
        return nullptr;
    }
    static const WindowSnapshot* control(const vishost::Snapshot* s, int id) {
        if (s == nullptr) return nullptr;
        for (const auto& w : s->windows)
            if (w.role == "control" && w.controlId == id) return &w;
        return nullptr;
    }

    PluginFolder folder_{LUMACORE_DLL_PATH};
};

int pictureRows(int clientHeight) {
    return static_cast<int>((1.0 - double(0.09f)) * clientHeight);
}

// The dumped picture region equals the native rasteriser's rendering of the same frames.
void expectSamePicture(const Picture& picture, const ReferenceDisplay& display,
                       const std::vector<winampVisModule>& frames) {
    ASSERT_EQ(picture.width, display.width);
    ASSERT_EQ(picture.height, display.height);
    const Bitmap expected = renderReference(display, frames);
    std::string report;
    const int differing =
        countDifferences(expected, picture.pixels, pictureRows(display.height), report);
    EXPECT_EQ(differing, 0) << report;
}

TEST_F(HistoryDisplay, FirstStartWithoutSettingsFile) {
    const Report report = run({"--count", "2"});
    EXPECT_EQ(report.initResult, 0);
    EXPECT_TRUE(report.quitCalled);
    const WindowSnapshot* window = role(snapshot(report, "end"), "window");
    ASSERT_NE(window, nullptr);
    const int width = static_cast<int>(0.6 * GetSystemMetrics(SM_CXSCREEN));
    const int height = static_cast<int>(0.5 * GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(window->className, "3D-Lumacore");
    EXPECT_EQ(window->title, "3D-Lumacor");
    EXPECT_EQ(window->rect.left, 0);
    EXPECT_EQ(window->rect.top, 0);
    EXPECT_EQ(window->rect.right, width);
    EXPECT_EQ(window->rect.bottom, height);
    EXPECT_EQ(window->style & 0x00CF0000u, 0x00CF0000u);
    EXPECT_EQ(window->exStyle & WS_EX_TOPMOST, 0u);
    // Quit wrote the outer rectangle and the options.
    const std::string settings = folder_.readSettings();
    EXPECT_NE(settings.find("[Lumacor 3D]"), std::string::npos) << settings;
    const std::vector<std::string> lines = {"Posx=0",
                                            "Posy=0",
                                            "Sizex=" + std::to_string(width),
                                            "Sizey=" + std::to_string(height),
                                            "3D=1",
                                            "Speed=10000",
                                            "Brightness=100"};
    for (const std::string& line : lines)
        EXPECT_NE(settings.find(line), std::string::npos) << line << " in " << settings;
}

TEST_F(HistoryDisplay, ButtonsFollowTheClientHeight) {
    const struct { int height, buttonHeight; } cases[] = {{600, 20}, {300, 20}, {150, 13}};
    for (const auto& c : cases) {
        const std::string dump = tempFile("buttons.bmp");
        const Report report =
            run({"--count", "2", "--at", "0:resize:800," + std::to_string(c.height), "--at",
                 "1:dump:" + dump});
        DeleteFileA(dump.c_str());
        const vishost::Snapshot* s = snapshot(report, "dump:" + dump);
        const WindowSnapshot* configure = control(s, 1010);
        const WindowSnapshot* fullScreen = control(s, 1011);
        ASSERT_NE(configure, nullptr);
        ASSERT_NE(fullScreen, nullptr);
        const int top = c.height - c.buttonHeight;
        EXPECT_EQ(configure->title, "Configure");
        EXPECT_EQ(fullScreen->title, "Full Screen");
        EXPECT_EQ(configure->style, 0x50000001u);
        EXPECT_EQ(configure->clientRect.left, 720) << c.height;
        EXPECT_EQ(configure->clientRect.top, top) << c.height;
        EXPECT_EQ(configure->clientRect.right, 800) << c.height;
        EXPECT_EQ(configure->clientRect.bottom, c.height) << c.height;
        EXPECT_EQ(fullScreen->clientRect.left, 640) << c.height;
        EXPECT_EQ(fullScreen->clientRect.top, top) << c.height;
        EXPECT_EQ(fullScreen->clientRect.right, 720) << c.height;
    }
}

TEST_F(HistoryDisplay, FullScreenByTabEscapeAndTheButton) {
    const struct {
        const char* enter;
        const char* leave;
    } ways[] = {{"key:tab", "key:tab"},
                {"key:escape", "key:escape"},
                {"command:1011", "command:1011"},
                {"key:tab", "key:enter"}};
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    for (const auto& way : ways) {
        SCOPED_TRACE(std::string(way.enter) + " then " + way.leave);
        const std::string before = tempFile("before.bmp"), during = tempFile("during.bmp"),
                          after = tempFile("after.bmp");
        const Report report =
            run({"--count", "5", "--at", "0:resize:500,300", "--at", "1:dump:" + before, "--at",
                 std::string("1:") + way.enter, "--at", "2:dump:" + during, "--at",
                 std::string("3:") + way.leave, "--at", "4:dump:" + after});
        for (const auto& f : {before, during, after})
            DeleteFileA(f.c_str());
        const WindowSnapshot* b = role(snapshot(report, "dump:" + before), "window");
        const WindowSnapshot* d = role(snapshot(report, "dump:" + during), "window");
        const WindowSnapshot* a = role(snapshot(report, "dump:" + after), "window");
        ASSERT_TRUE(b && d && a);
        // One key press toggles exactly once: the character that follows it does not undo it.
        EXPECT_EQ(d->style & 0x00CF0000u, 0u);
        EXPECT_TRUE(d->style & WS_VISIBLE);
        EXPECT_TRUE(d->topmost);
        EXPECT_EQ(d->rect.left, 0);
        EXPECT_EQ(d->rect.top, 0);
        EXPECT_EQ(d->rect.right, screenW);
        EXPECT_EQ(d->rect.bottom, screenH);
        EXPECT_EQ(a->style & 0x10CF0000u, 0x10CF0000u);
        EXPECT_FALSE(a->topmost);
        EXPECT_EQ(a->rect.left, b->rect.left);
        EXPECT_EQ(a->rect.top, b->rect.top);
        EXPECT_EQ(a->rect.right, b->rect.right);
        EXPECT_EQ(a->rect.bottom, b->rect.bottom);
    }
}

TEST_F(HistoryDisplay, KeyReleasesReachThePlayerUnchanged) {
    const Report report = run({"--count", "3", "--at", "1:keyup:0x41", "--at", "2:key:0x42"});
    std::vector<std::pair<std::uint64_t, std::int64_t>> releases;
    for (const auto& m : report.messages)
        if (m.message == kWmKeyUp && m.posted) releases.push_back({m.wParam, m.lParam});
    const std::vector<std::pair<std::uint64_t, std::int64_t>> expected = {
        {0x41, static_cast<std::int64_t>(vishost::keyLParam(0x41, true))},
        {0x42, static_cast<std::int64_t>(vishost::keyLParam(0x42, true))}};
    EXPECT_EQ(releases, expected);
}

TEST_F(HistoryDisplay, TimerTickWritesTheTitleInTheBanner) {
    const struct {
        std::vector<std::string> playlist;
        bool text;
    } cases[] = {{{"--title", "First", "--title", "Second Title Here", "--list-pos", "1"}, true},
                 {{"--null-title"}, false}};
    for (const auto& c : cases) {
        const std::string dump = tempFile("banner.bmp");
        std::vector<std::string> args{"--signal", "silence",          "--count", "4",
                                      "--at",     "0:resize:600,400", "--at",    "3:timer",
                                      "--at",     "3:dump:" + dump};
        args.insert(args.end(), c.playlist.begin(), c.playlist.end());
        const Report report = run(args);
        const Picture picture = readBmp(dump);
        DeleteFileA(dump.c_str());
        ASSERT_EQ(picture.height, 400);
        // The strip is cleared to black; the title is written from its left edge.
        int lit = 0;
        for (int y = pictureRows(400); y < 400; ++y)
            for (int x = 0; x < 300; ++x)
                lit += picture.at(x, y) != 0;
        if (c.text)
            EXPECT_GT(lit, 20);
        else
            EXPECT_EQ(lit, 0);
        // The player was asked for the list position, then for that entry's title.
        std::vector<std::pair<std::int64_t, std::uint64_t>> queries;
        for (const auto& m : report.messages)
            if (m.message == kWmUser) queries.push_back({m.lParam, m.wParam});
        const std::uint64_t position = c.text ? 1 : 0;
        const std::vector<std::pair<std::int64_t, std::uint64_t>> expected = {{125, 0},
                                                                              {212, position}};
        EXPECT_EQ(queries, expected);
    }
}

TEST_F(HistoryDisplay, ConfigureOpensTheDialogFromTheState) {
    const std::string windowed = tempFile("dialog.bmp"), full = tempFile("dialog-full.bmp");
    const Report report =
        run({"--count", "4", "--at", "1:command:1010", "--at", "1:dump-dialog:" + windowed, "--at",
             "2:key:tab", "--at", "2:command:1010", "--at", "3:dump-dialog:" + full});
    DeleteFileA(windowed.c_str());
    DeleteFileA(full.c_str());
    const vishost::Snapshot* s = snapshot(report, "dump-dialog:" + windowed);
    const WindowSnapshot* dialog = role(s, "dialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->title, "Configuration");
    EXPECT_EQ(dialog->ownerRole, "player");
    EXPECT_TRUE(dialog->visible);
    EXPECT_FALSE(dialog->topmost);
    const struct { int id, value; } controls[] = {{1002, 100}, {1000, 10}, {1008, 0}, {1009, 1}};
    for (const auto& c : controls) {
        const WindowSnapshot* w = control(s, c.id);
        ASSERT_NE(w, nullptr) << c.id;
        ASSERT_TRUE(w->value.has_value()) << c.id;
        EXPECT_EQ(*w->value, c.value) << c.id;
    }
    // Over a full-screen display the dialog stays on top.
    const WindowSnapshot* onTop = role(snapshot(report, "dump-dialog:" + full), "dialog");
    ASSERT_NE(onTop, nullptr);
    EXPECT_TRUE(onTop->topmost);
}

TEST_F(HistoryDisplay, FramesMatchTheNativeRasteriser) {
    const int frames = 23;
    const Recording recording(frames);
    for (const bool threeD : {true, false}) {
        SCOPED_TRACE(threeD ? "3D" : "2D");
        const std::string dump = tempFile("frames.bmp");
        std::vector<std::string> args{"--frames", recording.path,
                                      "--count",  std::to_string(frames),
                                      "--at",     "0:resize:640,360"};
        if (!threeD) args.insert(args.end(), {"--at", "0:command:1010", "--at", "0:click:1008"});
        args.insert(args.end(), {"--at", std::to_string(frames) + ":dump:" + dump});
        const Report report = run(args);
        EXPECT_TRUE(report.errors.empty());
        const Picture picture = readBmp(dump);
        DeleteFileA(dump.c_str());
        expectSamePicture(picture, {640, 360, threeD, 1.0f}, recording.frames);
    }
}

TEST_F(HistoryDisplay, SliderDragsChangeTheBrightnessAndPageClicksDoNot) {
    const int frames = 12;
    const Recording recording(frames);
    const struct {
        const char* slide;
        float brightness;
        const char* saved;
    } cases[] = {{"0:slider:1000:5:thumbposition", 0.5f, "Brightness=50"},
                 {"0:slider:1000:7:thumbtrack", 0.7f, "Brightness=69"},
                 {"0:slider:1000:15:pagedown", 1.0f, "Brightness=100"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slide);
        PluginFolder folder(LUMACORE_DLL_PATH);
        const std::string dump = tempFile("slider.bmp");
        const Report report = vishost::runSession(vishost::parseCommandLine(
            {folder.dll(), "--single-thread", "--no-delay", "--frames", recording.path, "--count",
             std::to_string(frames), "--at", "0:resize:480,270", "--at", "0:command:1010", "--at",
             c.slide, "--at", std::to_string(frames) + ":dump:" + dump}));
        const Picture picture = readBmp(dump);
        DeleteFileA(dump.c_str());
        expectSamePicture(picture, {480, 270, true, c.brightness}, recording.frames);
        EXPECT_NE(folder.readSettings().find(c.saved), std::string::npos) << folder.readSettings();
    }
}

TEST_F(HistoryDisplay, SettingsSurviveToTheNextLoad) {
    folder_.writeSettings("[Lumacor 3D]\r\nPosx=40\r\nPosy=30\r\nSizex=500\r\nSizey=320\r\n"
                          "3D=7\r\nSpeed=150\r\nBrightness=50\r\n");
    const Report first = run({"--count", "2", "--at", "1:command:1010"});
    const vishost::Snapshot* end = snapshot(first, "end");
    const WindowSnapshot* window = role(end, "window");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->rect.left, 40);
    EXPECT_EQ(window->rect.top, 30);
    EXPECT_EQ(window->rect.right, 540);
    EXPECT_EQ(window->rect.bottom, 350);
    // "3D"=7 reads as on; speed 1.5 shows as 1; brightness 0.5 as 5.
    ASSERT_NE(control(end, 1009), nullptr);
    EXPECT_EQ(control(end, 1009)->value, 1);
    EXPECT_EQ(control(end, 1002)->value, 1);
    EXPECT_EQ(control(end, 1000)->value, 5);
    const std::string settings = folder_.readSettings();
    for (const char* line : {"3D=1", "Speed=150", "Brightness=50", "Posx=40", "Sizex=500"})
        EXPECT_NE(settings.find(line), std::string::npos) << line << " in " << settings;
}

TEST_F(HistoryDisplay, ASecondRunInOneLoadReopensWhereTheWindowStood) {
    HMODULE held = LoadLibraryA(folder_.dll().c_str()); // keeps one load across both runs
    ASSERT_NE(held, nullptr);
    const Report first = run({"--count", "2", "--at", "0:resize:420,260"});
    const Report second = run({"--count", "2"});
    FreeLibrary(held);
    const WindowSnapshot* a = role(snapshot(first, "end"), "window");
    const WindowSnapshot* b = role(snapshot(second, "end"), "window");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->rect.left, a->rect.left);
    EXPECT_EQ(b->rect.top, a->rect.top);
    EXPECT_EQ(b->rect.right, a->rect.right);
    EXPECT_EQ(b->rect.bottom, a->rect.bottom);
    EXPECT_EQ(b->clientWidth, 420);
    EXPECT_EQ(b->clientHeight, 260);
}

TEST_F(HistoryDisplay, MinimisedAtQuitSavesTheRestoredRectangleAndReopensThere) {
    const struct {
        const char* name;
        std::vector<std::string> actions;
    } cases[] = {
        {"minimised", {"--at", "1:minimise"}},
        {"minimised, then a banner tick", {"--at", "1:minimise", "--at", "2:timer"}},
        {"minimised and restored", {"--at", "1:minimise", "--at", "2:restore"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PluginFolder folder(LUMACORE_DLL_PATH);
        folder.writeSettings("[Lumacor 3D]\r\nPosx=100\r\nPosy=80\r\nSizex=400\r\nSizey=300\r\n");
        std::vector<std::string> args{folder.dll(), "--single-thread", "--no-delay", "--count",
                                      "3"};
        args.insert(args.end(), c.actions.begin(), c.actions.end());
        vishost::runSession(vishost::parseCommandLine(args));
        const std::string settings = folder.readSettings();
        for (const char* line : {"Posx=100", "Posy=80", "Sizex=400", "Sizey=300"})
            EXPECT_NE(settings.find(line), std::string::npos) << line << " in " << settings;
        const Report again = vishost::runSession(vishost::parseCommandLine(
            {folder.dll(), "--single-thread", "--no-delay", "--count", "1"}));
        const WindowSnapshot* window = role(snapshot(again, "end"), "window");
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(window->iconic);
        EXPECT_EQ(window->rect.left, 100);
        EXPECT_EQ(window->rect.top, 80);
        EXPECT_EQ(window->rect.right, 500);
        EXPECT_EQ(window->rect.bottom, 380);
        EXPECT_GT(window->clientHeight, 200);
    }
}

TEST_F(HistoryDisplay, InitFailuresShowTheirMessageAndLeaveNoClassBehind) {
    HMODULE held = LoadLibraryA(folder_.dll().c_str());
    ASSERT_NE(held, nullptr);

    // The class already registered by someone else: registration fails.
    WNDCLASSA taken{};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = held;
    taken.lpszClassName = "3D-Lumacore";
    ASSERT_TRUE(RegisterClassA(&taken));
    const Report registration = run({"--count", "2"});
    UnregisterClassA("3D-Lumacore", held);
    EXPECT_EQ(registration.initResult, 1);
    EXPECT_FALSE(registration.quitCalled);
    ASSERT_EQ(registration.messageBoxes.size(), 1u);
    EXPECT_EQ(registration.messageBoxes[0].caption, "Error");
    EXPECT_EQ(registration.messageBoxes[0].text, "Error registering window class");
    EXPECT_EQ(registration.messageBoxes[0].ownerClass, vishost::kHostWindowClass);

    // The window refused at creation: its message, and the class is not left registered.
    const Report creation = [&] {
        const WindowCreationRefused refused("3D-Lumacore");
        return run({"--count", "2"});
    }();
    EXPECT_EQ(creation.initResult, 1);
    ASSERT_EQ(creation.messageBoxes.size(), 1u);
    EXPECT_EQ(creation.messageBoxes[0].caption, "Error");
    EXPECT_EQ(creation.messageBoxes[0].text, "Error creating window");

    const Report again = run({"--count", "2"});
    FreeLibrary(held);
    EXPECT_EQ(again.initResult, 0);
    EXPECT_TRUE(again.messageBoxes.empty());
}

TEST_F(HistoryDisplay, ClosedByTheUserBeforeQuit) {
    const Report report = run({"--count", "6", "--at", "2:close", "--at", "2:config"});
    EXPECT_EQ(report.endReason, "quit-message");
    EXPECT_TRUE(report.quitCalled);
    // Config after the window is gone: the message is owned by the player, not the dead window.
    ASSERT_EQ(report.messageBoxes.size(), 1u);
    EXPECT_EQ(report.messageBoxes[0].caption, "3D-Lumacore");
    EXPECT_EQ(report.messageBoxes[0].text,
              "Please Press Config Button from the Visualization Window.");
    EXPECT_EQ(report.messageBoxes[0].ownerClass, vishost::kHostWindowClass);
    // The settings are still written.
    EXPECT_NE(folder_.readSettings().find("Sizex="), std::string::npos);
}

TEST_F(HistoryDisplay, ConfigWhileRunningIsOwnedByTheDisplay) {
    const Report report = run({"--count", "2", "--at", "1:config"});
    ASSERT_EQ(report.messageBoxes.size(), 1u);
    EXPECT_EQ(report.messageBoxes[0].ownerClass, "3D-Lumacore");
}

} // namespace
} // namespace lumacore::testing
