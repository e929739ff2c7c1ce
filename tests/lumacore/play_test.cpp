// `lumacore play` run as a user would: its sound recorded from a real sound server's sink, its
// window driven with keys on the X display, its last picture compared pixel for pixel with what
// `lumacore render` draws from the same frames, its settings carried from one start to the next,
// and its one-line answers to a missing display, sound server or input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "compositor.h"
#include "play_support.h"
#include "program_support.h"
#include "sound_server.h"
#include "virtual_display.h"
#include "x_window.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

constexpr double kRunSeconds = 60;    // the most one run of the program may take
constexpr double kWindowSeconds = 15; // the most a window may take to appear or change
// The end of a frames-driven run: off any Render call's time at the rates used below, so that
// the pictures of both programs hold the same calls whatever the last one's exact moment; and a
// moment whose 2D history picture of the demo tune differs from the one a call before and after
// (some calls leave it as it was), so that a picture one call off shows.
constexpr const char* kPictureSeconds = "1.49";

// Each test has an X display of its own, so that no other test's windows share its screen or
// take its keyboard focus; desktop full screen needs a window manager to grant it.
template <VirtualDisplay::Manager kManager, int kMonitors = 1>
class OnVirtualDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!VirtualDisplay::installed(kManager, kMonitors))
            GTEST_SKIP() << (kMonitors > 1 ? "Xorg's dummy driver, xrandr or root is not there"
                                           : "Xvfb, xdotool or openbox is not installed");
        display_.emplace(kManager, kMonitors);
        ASSERT_EQ(display_->problem(), "");
    }
    std::optional<VirtualDisplay> display_;
};
using PlaySound = OnVirtualDisplay<VirtualDisplay::Manager::None>;
using PlayPicture = OnVirtualDisplay<VirtualDisplay::Manager::None>;
using PlayWindow = OnVirtualDisplay<VirtualDisplay::Manager::Openbox>;
using PlaySettings = OnVirtualDisplay<VirtualDisplay::Manager::None>;
using PlayErrors = OnVirtualDisplay<VirtualDisplay::Manager::None>;
using LiveStop = OnVirtualDisplay<VirtualDisplay::Manager::None>;
using PlayMonitors = OnVirtualDisplay<VirtualDisplay::Manager::Openbox, 2>;

fs::path folderOf(const ScratchDir& scratch) {
    return fs::path(scratch.file(""));
}

// Every run reads and writes its settings in the scratch folder, never the user's.
EnvironmentChanges scratchSettings(const ScratchDir& scratch, const EnvironmentChanges& more = {}) {
    EnvironmentChanges changes = more;
    changes["XDG_CONFIG_HOME"] = scratch.file("config");
    return changes;
}

fs::path settingsFile(const ScratchDir& scratch) {
    return folderOf(scratch) / "config/lumacore/lumacore.ini";
}

// Stereo samples: the tones of `left` and of `right` one after another, `seconds` each, at 0.4
// with 10 ms fades (no clicks between them).
std::vector<float> toneSequence(const std::vector<double>& left, const std::vector<double>& right,
                                double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    std::vector<float> samples(2 * frames * std::max(left.size(), right.size()), 0);
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<double>& tones = channel == 0 ? left : right;
        for (std::size_t t = 0; t < tones.size(); ++t)
            for (std::size_t i = 0; i < frames; ++i) {
                const double fade = std::min({1.0, i / 441.0, (frames - i) / 441.0});
                samples[2 * (t * frames + i) + channel] = static_cast<float>(
                    0.4 * fade * std::sin(2 * std::numbers::pi * tones[t] * i / 44100));
            }
    }
    return samples;
}

// The frames file of the demo tune at `rate` calls a second, made once per folder and rate.
std::string demoFrames(const ScratchDir& scratch, const std::string& rate) {
    const std::string name = "demo-" + rate + ".frames";
    if (!fs::exists(scratch.file(name))) {
        const ProgramRun run =
            runLumacore({"analyse", "--rate", rate, "-o", name}, folderOf(scratch));
        EXPECT_EQ(run.exitCode, 0) << run.errors;
    }
    return scratch.file(name);
}

// The last picture of `lumacore render ARGS -o FOLDER/`.
std::optional<Picture> renderedLast(const ScratchDir& scratch, std::vector<std::string> args) {
    const fs::path folder = folderOf(scratch) / "rendered";
    fs::remove_all(folder);
    args.insert(args.begin(), {"render", "-q"});
    args.insert(args.end(), {"-o", folder.string() + "/"});
    const ProgramRun run = runLumacore(args, folderOf(scratch));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    return readPng(lastInSequence(folder));
}

// `inner` centred on black in a picture of `width` x `height`, as the window shows a scope.
Picture centredOnBlack(const Picture& inner, int width, int height) {
    Picture out{width, height, std::vector<std::uint8_t>(3 * std::size_t(width) * height, 0)};
    const int left = (width - inner.width) / 2, top = (height - inner.height) / 2;
    for (int y = 0; y < inner.height; ++y)
        std::copy_n(inner.at(0, y), 3 * inner.width,
                    &out.rgb[3 * (std::size_t(y + top) * width + left)]);
    return out;
}

// Empty when the pictures are the same, else how they differ (never the whole of them).
std::string difference(const Picture& shown, const Picture& wanted) {
    if (shown.width != wanted.width || shown.height != wanted.height)
        return "sizes differ: " + std::to_string(shown.width) + "x" + std::to_string(shown.height) +
               " shown, " + std::to_string(wanted.width) + "x" + std::to_string(wanted.height) +
               " wanted";
    long count = 0;
    std::string first;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (!std::equal(shown.at(x, y), shown.at(x, y) + 3, wanted.at(x, y)) && count++ == 0) {
                std::ostringstream where;
                where << "first at " << x << "," << y << ": shown " << int(shown.at(x, y)[0]) << ","
                      << int(shown.at(x, y)[1]) << "," << int(shown.at(x, y)[2]) << ", wanted "
                      << int(wanted.at(x, y)[0]) << "," << int(wanted.at(x, y)[1]) << ","
                      << int(wanted.at(x, y)[2]);
                first = where.str();
            }
    return count == 0 ? "" : std::to_string(count) + " pixels differ, " + first;
}

// Empty when `shown` is a 289 x 257 scope picture at the largest whole scale that fits,
// centred on black, else what is wrong with it.
std::string scopeLayout(const Picture& shown) {
    const int scale = std::min(shown.width / 289, shown.height / 257);
    if (scale < 1) return "the picture is smaller than a scope's";
    const int w = 289 * scale, h = 257 * scale;
    const int left = (shown.width - w) / 2, top = (shown.height - h) / 2;
    long lit = 0, strayOutside = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const bool black =
                shown.at(x, y)[0] == 0 && shown.at(x, y)[1] == 0 && shown.at(x, y)[2] == 0;
            const bool inside = x >= left && x < left + w && y >= top && y < top + h;
            if (inside && !black) ++lit;
            if (!inside && !black) ++strayOutside;
        }
    if (strayOutside)
        return std::to_string(strayOutside) + " pixels outside the scope are not black";
    if (lit * 10 < long(w) * h * 9) return "the centred scope area is mostly black";
    return "";
}

// ---------------------------------------------------------------------------------------------

TEST_F(PlaySound, EachToneOfTheFileReachesTheSinkInOrderOnItsOwnChannel) {
    if (!SoundServer::installed()) GTEST_SKIP() << "pulseaudio, pactl or parec is not installed";
    struct ChannelTones {
        int channel;
        std::vector<double> frequencies; // played in this order, 0.5 s each
    };
    const ChannelTones channels[] = {{0, {440, 880, 1320}}, {1, {660, 1100, 1540}}};

    ScratchDir scratch;
    // A quarter second of silence first, where a stream's start may lose a few milliseconds.
    std::vector<float> samples(2 * 11025, 0.0f);
    const std::vector<float> tones =
        toneSequence(channels[0].frequencies, channels[1].frequencies, 0.5);
    samples.insert(samples.end(), tones.begin(), tones.end());
    writeStereoWav(scratch.file("tones.wav"), samples);

    SoundServer server;
    ASSERT_EQ(server.problem(), "");
    Recording recording(server, scratch.file("heard.wav"));
    ASSERT_EQ(recording.problem(), "");
    const ProgramRun run = runPlay({"play", "tones.wav", "--size", "320x180"}, folderOf(scratch),
                                   scratchSettings(scratch), kRunSeconds);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.errors, "");
    ASSERT_TRUE(recording.waitForMore(0.3)); // whatever was still on its way to the sink
    recording.stop();
    const std::vector<float> heard = recording.samples();

    for (const ChannelTones& c : channels) {
        SCOPED_TRACE("channel " + std::to_string(c.channel));
        const std::vector<ToneRun> runs = toneRuns(heard, c.channel, 44100, c.frequencies);
        std::string found;
        for (const ToneRun& r : runs)
            found += " " + std::to_string(int(c.frequencies[r.tone])) + " Hz at " +
                     std::to_string(r.start) + " s for " + std::to_string(r.seconds) + " s;";
        ASSERT_EQ(runs.size(), c.frequencies.size()) << "heard:" << found;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].tone, int(i)) << "heard:" << found;
            EXPECT_NEAR(runs[i].seconds, 0.5, 0.06) << "heard:" << found;
        }
    }
}

TEST_F(PlayPicture, LastPictureShownIsTheLastOneRenderDraws) {
    struct Case {
        const char* name;
        std::string rate;
        int width, height;                   // the window's client area
        std::vector<std::string> playArgs;   // besides frames, rate, size and time
        std::vector<std::string> renderArgs; // besides frames, rate and time
    };
    // clang-format off
    const Case cases[] = {
        {"history 2D", "60", 480, 270, {"--mode", "2d"}, {"--mode", "2d", "--size", "480x270"}},
        {"history 3D", "50", 640, 360, {"--brightness", "1.5"},
         {"--brightness", "1.5", "--size", "640x360"}},
        {"scope at twice its size", "60", 578, 514, {"--module", "scope"},
         {"--module", "scope", "--scale", "2"}},
        {"vu meter twice its size, centred", "60", 700, 600, {"--module", "vu"},
         {"--module", "vu", "--scale", "2"}},
        // The wallpaper: at its one monitor's size, the screen's.
        {"history 2D as the wallpaper", "60", 1280, 1024, {"--mode", "2d", "--wallpaper"},
         {"--mode", "2d", "--size", "1280x1024"}},
    };
    // clang-format on
    ScratchDir scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string frames = demoFrames(scratch, c.rate);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        std::vector<std::string> play = {"play",   "--frames", frames,       "--no-sound",
                                         "--rate", c.rate,     "--duration", kPictureSeconds,
                                         "--dump", "shown.png"};
        // A wallpaper's size is its monitor's.
        if (std::ranges::find(c.playArgs, "--wallpaper") == c.playArgs.end())
            play.insert(play.end(), {"--size", size});
        play.insert(play.end(), c.playArgs.begin(), c.playArgs.end());
        fs::remove(scratch.file("shown.png"));
        const ProgramRun run = runPlay(play, folderOf(scratch), scratchSettings(scratch));
        ASSERT_EQ(run.exitCode, 0) << run.errors;

        std::vector<std::string> render = {"--frames", frames,       "--rate",
                                           c.rate,     "--duration", kPictureSeconds};
        render.insert(render.end(), c.renderArgs.begin(), c.renderArgs.end());
        const auto drawn = renderedLast(scratch, render);
        const auto shown = readPng(scratch.file("shown.png"));
        ASSERT_TRUE(drawn && shown);
        EXPECT_EQ(difference(*shown, centredOnBlack(*drawn, c.width, c.height)), "");
    }
}

// `play` as a native Wayland window on a headless sway of its own (floating, so that sway keeps
// the size asked for rather than tiling it): its last picture is the one render draws, and Q
// ends it.
TEST(PlayOnWayland, TheWindowDrawsTheDemoAndStopsOnQ) {
    if (!Compositor::installed() || !onPath("wtype"))
        GTEST_SKIP() << "sway, swaymsg, grim or wtype is not installed";
    Compositor compositor(800, 600, "for_window [app_id=\"lumacore\"] floating enable\n");
    ASSERT_EQ(compositor.problem(), "");
    ScratchDir scratch;
    const std::string frames = demoFrames(scratch, "60");
    const ProgramRun run = runPlay({"play", "--video", "wayland", "--frames", frames, "--no-sound",
                                    "--rate", "60", "--duration", kPictureSeconds, "--mode", "2d",
                                    "--size", "480x270", "--dump", "shown.png"},
                                   folderOf(scratch), scratchSettings(scratch));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto drawn =
        renderedLast(scratch, {"--frames", frames, "--rate", "60", "--duration", kPictureSeconds,
                               "--mode", "2d", "--size", "480x270"});
    const auto shown = readPng(scratch.file("shown.png"));
    ASSERT_TRUE(drawn && shown);
    EXPECT_EQ(difference(*shown, *drawn), "");

    // The place an X11 window was kept at stays: the compositor places Wayland's windows.
    fs::create_directories(settingsFile(scratch).parent_path());
    std::ofstream(settingsFile(scratch)) << "[Lumacor 3D]\nPosx=120\nPosy=40\n";
    ChildProcess play({LUMACORE_PROGRAM, "play", "--video", "wayland", "--no-sound"},
                      scratchSettings(scratch), folderOf(scratch));
    ASSERT_TRUE(pollUntil([&] { return compositor.showsWindow("lumacore"); }, kWindowSeconds))
        << "no window appeared";
    ASSERT_TRUE(compositor.type("q"));
    EXPECT_EQ(play.waitExit(kWindowSeconds), 0);
    EXPECT_EQ(iniValue(settingsFile(scratch), "Lumacor 3D", "Posx"), "120");
    EXPECT_EQ(iniValue(settingsFile(scratch), "Lumacor 3D", "Posy"), "40");
}

// Started in the background of its terminal (`lumacore play --wallpaper &`), the wallpaper leaves
// the terminal alone rather than being stopped by it for taking its keys (SIGTTOU): it plays to
// its end. The terminal is script's, a shell with job control on it.
TEST_F(PlayWindow, TheWallpaperStartedInTheBackgroundOfItsTerminalPlaysToItsEnd) {
    if (!onPath("script")) GTEST_SKIP() << "script (util-linux) is not installed";
    ScratchDir scratch;
    const std::string shell = std::string("set -m; '") + LUMACORE_PROGRAM +
                              "' play --wallpaper --no-sound --duration 1 & wait $!; "
                              "echo \"status $?\"";
    ChildProcess terminal({"script", "-qec", shell, "/dev/null"}, scratchSettings(scratch),
                          folderOf(scratch), scratch.file("said.txt"));
    ASSERT_EQ(terminal.waitExit(kWindowSeconds), 0);
    EXPECT_NE(fileBytes(scratch.file("said.txt")).find("status 0"), std::string::npos)
        << fileBytes(scratch.file("said.txt"));
}

// The wallpaper as a window manager and a user meet it: the desktop itself, kept below a window
// opened before it, over the whole screen, and letting the pointer's clicks through.
TEST_F(PlayWindow, TheWallpaperIsTheDesktopBelowOtherWindowsAndTakesNoClicks) {
    ScratchDir scratch;
    ChildProcess window({LUMACORE_PROGRAM, "play", "--no-sound", "--size", "400x300"},
                        scratchSettings(scratch), folderOf(scratch));
    const auto normal = findWindow(window.pid(), kWindowSeconds);
    ASSERT_TRUE(normal) << "no window appeared";
    ChildProcess wallpaper({LUMACORE_PROGRAM, "play", "--no-sound", "--wallpaper"},
                           scratchSettings(scratch), folderOf(scratch), "/dev/null",
                           scratch.file("errors.txt"));
    const auto desktop = findWindow(wallpaper.pid(), kWindowSeconds);
    ASSERT_TRUE(desktop) << "no wallpaper appeared: " << fileBytes(scratch.file("errors.txt"));

    EXPECT_EQ(windowProperty(*desktop, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE_DESKTOP");
    EXPECT_EQ(windowRect(*desktop), screenRect());
    EXPECT_EQ(inputRectangles(*desktop), 0);
    // Both managed, the wallpaper lower.
    std::vector<std::string> order;
    ASSERT_TRUE(pollUntil(
        [&] {
            order = stackingOrder();
            return std::ranges::count(order, *desktop) + std::ranges::count(order, *normal) == 2;
        },
        kWindowSeconds))
        << testing::PrintToString(order);
    const auto place = [&](const std::string& id) {
        return std::ranges::find(order, id) - order.begin();
    };
    EXPECT_LT(place(*desktop), place(*normal)) << testing::PrintToString(order);
    // It says nothing while it runs, and ends on SIGTERM as a window does.
    wallpaper.signal(SIGTERM);
    EXPECT_TRUE(wallpaper.waitExit(kWindowSeconds));
    EXPECT_EQ(wallpaper.endSignal(), SIGTERM);
    EXPECT_EQ(fileBytes(scratch.file("errors.txt")), "");
}

// The wallpaper covers each monitor, and follows them as they are turned off, moved, given
// another size and turned on again; its pictures are then drawn at the largest one's size.
TEST_F(PlayMonitors, TheWallpaperFollowsTheMonitorsAsTheyChange) {
    struct Case {
        const char* name;
        std::vector<std::string> xrandr; // empty: as the display starts
        std::vector<ScreenRect> windows;
    };
    // clang-format off
    const Case cases[] = {
        {"two monitors", {}, {{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}},
        {"the second turned off", {"--output", "DUMMY1", "--off"}, {{0, 0, 1920, 1080}}},
        {"back, smaller, on the left",
         {"--output", "DUMMY1", "--mode", "1280x1024", "--left-of", "DUMMY0"},
         {{0, 0, 1280, 1024}, {1280, 0, 1920, 1080}}},
        {"the larger turned off", {"--output", "DUMMY0", "--off"}, {{0, 0, 1280, 1024}}},
    };
    // clang-format on
    ScratchDir scratch;
    ASSERT_TRUE(commandOutput({"xrandr", "--addmode", "DUMMY1", "1280x1024"}));
    ChildProcess wallpaper(
        {LUMACORE_PROGRAM, "play", "--no-sound", "--wallpaper", "--dump", "shown.png"},
        scratchSettings(scratch), folderOf(scratch), "/dev/null", scratch.file("errors.txt"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.xrandr.empty()) {
            std::vector<std::string> command = {"xrandr"};
            command.insert(command.end(), c.xrandr.begin(), c.xrandr.end());
            ASSERT_TRUE(commandOutput(command));
        }
        std::vector<ScreenRect> seen;
        EXPECT_TRUE(pollUntil([&] { return (seen = windowRectsOf(wallpaper.pid())) == c.windows; },
                              kWindowSeconds))
            << testing::PrintToString(seen) << fileBytes(scratch.file("errors.txt"));
    }
    wallpaper.signal(SIGTERM);
    ASSERT_TRUE(wallpaper.waitExit(kWindowSeconds));
    EXPECT_EQ(wallpaper.endSignal(), SIGTERM);
    EXPECT_EQ(fileBytes(scratch.file("errors.txt")), "");
    const auto shown = readPng(scratch.file("shown.png"));
    ASSERT_TRUE(shown) << "no last picture";
    EXPECT_EQ(shown->width, 1280);
    EXPECT_EQ(shown->height, 1024);
}

TEST_F(PlayWindow, FullScreenKeysCoverTheScreenAndGiveTheEarlierRectangleBack) {
    ScratchDir scratch;
    ChildProcess play({LUMACORE_PROGRAM, "play", "--no-sound", "--size", "400x300"},
                      scratchSettings(scratch), folderOf(scratch));
    const auto window = findWindow(play.pid(), kWindowSeconds);
    ASSERT_TRUE(window) << "no window appeared";
    const auto before = windowRect(*window);
    const auto screen = screenRect();
    ASSERT_TRUE(before && screen);
    ASSERT_NE(*before, *screen);

    struct Step {
        const char* key;
        bool fullScreen; // afterwards
    };
    const Step steps[] = {{"Tab", true}, {"Escape", false}, {"Escape", true}, {"Tab", false},
                          {"Tab", true}, {"Return", false}, {"Return", false}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        ASSERT_TRUE(typeKey(*window, step.key));
        const ScreenRect wanted = step.fullScreen ? *screen : *before;
        const auto seen = waitForRect(*window, wanted, kWindowSeconds);
        ASSERT_TRUE(seen);
        EXPECT_EQ(*seen, wanted);
    }
    ASSERT_TRUE(typeKey(*window, "q"));
    EXPECT_EQ(play.waitExit(kWindowSeconds), 0);
}

TEST_F(PlaySettings, KeysChangeThePictureAndTheNextStartBeginsWhereTheLastOneLeft) {
    ScratchDir scratch;
    {
        // D: the history in 2D; M: the oscilloscope; Q: quit, writing what changed.
        ChildProcess play(
            {LUMACORE_PROGRAM, "play", "--no-sound", "--size", "400x300", "--dump", "first.png"},
            scratchSettings(scratch), folderOf(scratch));
        const auto window = findWindow(play.pid(), kWindowSeconds);
        ASSERT_TRUE(window) << "no window appeared";
        for (const char* key : {"d", "m", "q"})
            ASSERT_TRUE(typeKey(*window, key)) << key;
        ASSERT_EQ(play.waitExit(kWindowSeconds), 0);
    }
    const auto first = readPng(scratch.file("first.png"));
    ASSERT_TRUE(first);
    EXPECT_EQ(scopeLayout(*first), "");
    const std::map<std::pair<std::string, std::string>, std::string> written = {
        {{"Lumacor 3D", "3D"}, "0"}, {{"Player", "Module"}, "scope"}};
    for (const auto& [where, value] : written)
        EXPECT_EQ(iniValue(settingsFile(scratch), where.first, where.second), value)
            << where.first << " " << where.second;

    // Without options it starts where it was left: the oscilloscope.
    ProgramRun run = runPlay({"play", "--no-sound", "--duration", "1", "--dump", "second.png"},
                             folderOf(scratch), scratchSettings(scratch));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto second = readPng(scratch.file("second.png"));
    ASSERT_TRUE(second);
    EXPECT_EQ(scopeLayout(*second), "");

    // The history chosen on the command line comes up in the 2D mode that was saved, and the
    // option is not written back.
    const std::string frames = demoFrames(scratch, "60");
    run = runPlay({"play", "--module", "history", "--frames", frames, "--no-sound", "--rate", "60",
                   "--duration", kPictureSeconds, "--size", "480x270", "--dump", "third.png"},
                  folderOf(scratch), scratchSettings(scratch));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto third = readPng(scratch.file("third.png"));
    const std::vector<std::string> common = {"--frames",   frames,          "--rate", "60",
                                             "--duration", kPictureSeconds, "--size", "480x270"};
    std::vector<std::string> twoD = common, threeD = common;
    twoD.insert(twoD.end(), {"--mode", "2d"});
    const auto flat = renderedLast(scratch, twoD);
    const auto boxes = renderedLast(scratch, threeD);
    ASSERT_TRUE(third && flat && boxes);
    ASSERT_NE(difference(*flat, *boxes), "") << "the two modes should look different";
    EXPECT_EQ(difference(*third, *flat), "");
    for (const auto& [where, value] : written)
        EXPECT_EQ(iniValue(settingsFile(scratch), where.first, where.second), value)
            << where.first << " " << where.second;
}

// Paused, the picture cannot change: the window shows it again only for a key (one picture each)
// and, once the pause ends, a picture for every call again.
TEST_F(PlayPicture, PausedTheWindowShowsAPictureOnlyForAKey) {
    ScratchDir scratch;
    const std::string log = scratch.file("timing.log");
    ChildProcess play(
        {LUMACORE_PROGRAM, "play", "--no-sound", "--size", "320x200", "--duration", "60"},
        scratchSettings(scratch, {{"LUMACORE_TIMING_LOG", log}}), folderOf(scratch));
    const auto window = findWindow(play.pid(), kWindowSeconds);
    ASSERT_TRUE(window) << "no window appeared";
    const auto presented = [&] { return readTimingLog(log); };
    ASSERT_TRUE(pollUntil([&] { return presented().size() >= 30; }, kWindowSeconds));
    ASSERT_TRUE(typeKey(*window, "space"));
    // Paused once a picture shows the time of the one before it.
    const auto standing = [&] {
        const std::vector<PresentedFrame> frames = presented();
        return frames.size() >= 2 && frames.back().heard == frames[frames.size() - 2].heard;
    };
    ASSERT_TRUE(pollUntil(standing, kWindowSeconds)) << "the pause did not stop the clock";
    const std::size_t paused = presented().size();
    constexpr int kKeys = 5; // keys without an action of their own
    for (int key = 1; key <= kKeys; ++key) {
        ASSERT_TRUE(typeKey(*window, "x"));
        ASSERT_TRUE(pollUntil([&] { return presented().size() >= paused + key; }, kWindowSeconds))
            << "key " << key << " was not answered";
    }
    EXPECT_EQ(presented().size(), paused + kKeys) << "pictures while paused without a key";
    ASSERT_TRUE(typeKey(*window, "space"));
    EXPECT_TRUE(
        pollUntil([&] { return presented().size() >= paused + kKeys + 30; }, kWindowSeconds))
        << "the pictures did not start again";
    EXPECT_GT(presented().back().heard, presented()[paused].heard);
    ASSERT_TRUE(typeKey(*window, "q"));
    EXPECT_EQ(play.waitExit(kWindowSeconds), 0);
}

// Whatever stops a live window (Q, SIGINT, SIGTERM, SIGHUP), it ends the same way: what the user
// changed is saved and the last picture written; a signal then ends the program as that signal
// does (a shell's status 128 + the signal).
TEST_F(LiveStop, EverySignalEndsPlayAndListenAsQDoes) {
    if (!SoundServer::installed()) GTEST_SKIP() << "pulseaudio, pactl or parec is not installed";
    struct Case {
        const char* command;
        std::vector<std::string> args; // besides size and dump
        int signal;                    // 0: the Q key
        bool wallpaper = false;        // the keys typed in the terminal it runs in
    };
    const std::vector<std::string> playArgs = {"--no-sound"};
    const Case cases[] = {
        {"play", playArgs, SIGINT},    {"play", playArgs, SIGTERM}, {"play", playArgs, SIGHUP},
        {"play", playArgs, 0},         {"listen", {}, SIGINT},      {"listen", {}, SIGTERM},
        {"listen", {}, SIGHUP},        {"listen", {}, 0},           {"play", playArgs, 0, true},
        {"listen", {}, SIGTERM, true},
    };
    SoundServer server;
    ASSERT_EQ(server.problem(), "");
    ScratchDir scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + (c.signal ? " " + std::to_string(c.signal) : " Q") +
                     (c.wallpaper ? " wallpaper" : ""));
        fs::remove_all(folderOf(scratch) / "config");
        fs::remove(scratch.file("stopped.png"));
        std::vector<std::string> args = {LUMACORE_PROGRAM, c.command, "--dump", "stopped.png"};
        const std::vector<std::string> place = c.wallpaper
                                                   ? std::vector<std::string>{"--wallpaper"}
                                                   : std::vector<std::string>{"--size", "320x200"};
        args.insert(args.end(), place.begin(), place.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        PseudoTerminal terminal;
        ChildProcess live(args, scratchSettings(scratch), folderOf(scratch), "/dev/null",
                          scratch.file("errors.txt"), terminal.slavePath());
        const auto window = findWindow(live.pid(), kWindowSeconds);
        ASSERT_TRUE(window) << "no window appeared: " << fileBytes(scratch.file("errors.txt"));
        // Brighter, and 2D: what the next start should find.
        if (c.wallpaper) {
            // Typed once the program reads the terminal key by key, as a user sees it do.
            ASSERT_TRUE(pollUntil([&] { return terminal.keyByKey(); }, kWindowSeconds))
                << "the terminal was left in line mode";
            ASSERT_TRUE(terminal.type("+d"));
        } else {
            for (const char* key : {"plus", "d"})
                ASSERT_TRUE(typeKey(*window, key)) << key;
        }
        if (c.signal != 0) {
            // Keys read before the signal are taken before it.
            if (c.wallpaper) {
                ASSERT_TRUE(pollUntil([&] { return terminal.unread() == 0; }, kWindowSeconds));
            }
            live.signal(c.signal);
        } else if (c.wallpaper) {
            ASSERT_TRUE(terminal.type("q"));
        } else {
            ASSERT_TRUE(typeKey(*window, "q"));
        }
        const std::optional<int> exit = live.waitExit(kWindowSeconds);
        ASSERT_TRUE(exit) << "still running";
        EXPECT_EQ(live.endSignal(), c.signal) << fileBytes(scratch.file("errors.txt"));
        if (c.signal == 0) {
            EXPECT_EQ(*exit, 0) << fileBytes(scratch.file("errors.txt"));
        }
        EXPECT_EQ(iniValue(settingsFile(scratch), "Lumacor 3D", "Brightness"), "110");
        EXPECT_EQ(iniValue(settingsFile(scratch), "Lumacor 3D", "3D"), "0");
        const auto stopped = readPng(scratch.file("stopped.png"));
        ASSERT_TRUE(stopped) << "no last picture";
        EXPECT_EQ(stopped->width, c.wallpaper ? 1280 : 320); // the screen's
        EXPECT_EQ(stopped->height, c.wallpaper ? 1024 : 200);
    }
}

TEST_F(PlayErrors, EachProblemIsOneLineAndTheOutcomeIsSafe) {
    struct Case {
        const char* name;
        EnvironmentChanges environment;
        std::vector<std::string> args;
        int exitCode;
        int lineCount;                      // -1: any number, each a "lumacore: " line
        std::vector<std::string> mentioned; // each in some line
        std::vector<std::string> unmentioned;
        bool dumps;          // shown.png holds a picture of the window's size
        double heardAtLeast; // of the last entry, from the timing log
    };
    const EnvironmentChanges noDisplay = {{"DISPLAY", std::nullopt},
                                          {"WAYLAND_DISPLAY", std::nullopt}};
    // A display nobody serves: no server listens on display 9999's socket.
    const EnvironmentChanges unserved = {{"DISPLAY", ":9999"}, {"WAYLAND_DISPLAY", std::nullopt}};
    // A video driver asked for by name whose display is not there (no compositor runs, and
    // the runtime folder holds none of its sockets).
    ScratchDir scratch;
    const EnvironmentChanges noCompositor = {{"SDL_VIDEODRIVER", "wayland"},
                                             {"DISPLAY", ":9999"},
                                             {"WAYLAND_DISPLAY", std::nullopt},
                                             {"XDG_RUNTIME_DIR", folderOf(scratch).string()}};
    // A Wayland socket nobody serves, and no X11 display to fall back on.
    const EnvironmentChanges unservedWayland = {
        {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", "/nonexistent/lumacore/wayland-0"}};
    const EnvironmentChanges noServer = {{"PULSE_SERVER", "unix:/nonexistent/lumacore/native"},
                                         {"SDL_AUDIODRIVER", std::nullopt}};
    const EnvironmentChanges timed = {{"LUMACORE_TIMING_LOG", "timing.log"}};
    const std::vector<std::string> window = {"--size", "320x180", "--dump", "shown.png"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "play");
        args.insert(args.end(), window.begin(), window.end());
        return args;
    };
    // clang-format off
    const Case cases[] = {
        // The display is checked before anything is decoded: the missing file is never named.
        {"no display", noDisplay, with({"missing.wav", "--no-sound", "--duration", "1"}),
         1, 1, {}, {"missing.wav"}, false, 0},
        // Never a run without a window to be seen.
        {"a display nobody serves", unserved, with({"good.wav", "--no-sound", "--duration", "1"}),
         1, 1, {"no display", "DISPLAY=:9999"}, {}, false, 0},
        // What was tried, and SDL's reason only where it gave one.
        {"a video driver without its display", noCompositor,
         with({"good.wav", "--no-sound", "--duration", "1"}),
         1, 1, {"no display: SDL could not connect with the 'wayland' video driver"},
         {"()", "DISPLAY=:9999"}, false, 0},
        {"a compositor nobody serves", unservedWayland,
         with({"good.wav", "--no-sound", "--duration", "1"}),
         1, 1, {"no display: cannot connect to the Wayland compositor",
                "/nonexistent/lumacore/wayland-0"}, {}, false, 0},
        // The monitors there are named; Xvfb's one is "screen".
        {"an unknown monitor", {},
         {"play", "--wallpaper", "--monitor", "nope", "--no-sound", "--duration", "1", "--dump",
          "shown.png"},
         1, 1, {"no monitor named 'nope'; the monitors are: screen"}, {}, false, 0},
        {"no sound server", noServer, with({"--duration", "1"}),
         0, 1, {"no sound"}, {}, true, 0},
        {"a damaged entry, then a good one", timed, with({"damaged.wav", "good.wav", "--no-sound"}),
         0, 1, {"damaged.wav"}, {"good.wav"}, true, 0.9},
        {"a missing entry, then a good one", timed, with({"missing.wav", "good.wav", "--no-sound"}),
         0, 1, {"missing.wav"}, {"good.wav"}, true, 0.9},
        {"nothing playable", {}, with({"damaged.wav", "missing.wav", "--no-sound"}),
         1, -1, {"damaged.wav", "missing.wav"}, {}, false, 0},
        // One input fails as render fails on it.
        {"--start beyond a file's end", {}, with({"good.wav", "--start", "1000", "--no-sound"}),
         1, 1, {"--start", "good.wav"}, {}, false, 0},
        {"--start beyond the demo tune's end", {}, with({"--start", "1000", "--no-sound"}),
         1, 1, {"--start", "demo tune"}, {}, false, 0},
        {"--start beyond a frames file's end", {},
         with({"--frames", "demo-60.frames", "--start", "1000", "--no-sound"}),
         1, 1, {"--start", "demo-60.frames"}, {}, false, 0},
        {"a frames file damaged part-way", timed, with({"--frames", "stamped.frames", "--no-sound"}),
         1, 1, {"stamped.frames"}, {}, true, 0.5},
    };
    // clang-format on
    // The demo's calls, one of them a second in stamped far beyond the file's end.
    std::string stamped = fileBytes(demoFrames(scratch, "60"));
    ASSERT_GT(stamped.size(), 64u + 61 * 2312);
    stamped.replace(64 + 60 * 2312, 8, 8, '\xff');
    std::ofstream(scratch.file("stamped.frames"), std::ios::binary) << stamped;
    std::ofstream damaged(scratch.file("damaged.wav"), std::ios::binary);
    for (int i = 0; i < 200; ++i)
        damaged << "not a sound at all\n";
    damaged.close();
    writeStereoWav(scratch.file("good.wav"), toneSequence({440}, {660}, 1.0));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(scratch.file("shown.png"));
        fs::remove(scratch.file("timing.log"));
        const ProgramRun run =
            runPlay(c.args, folderOf(scratch), scratchSettings(scratch, c.environment));
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;
        const std::vector<std::string> said = lines(run.errors);
        if (c.lineCount >= 0) {
            EXPECT_EQ(int(said.size()), c.lineCount) << run.errors;
        }
        std::string strays; // lines that are not the program's own
        for (const std::string& line : said)
            if (!line.starts_with("lumacore: ")) strays += line + "\n";
        EXPECT_EQ(strays, "");
        for (const std::string& word : c.mentioned)
            EXPECT_NE(run.errors.find(word), std::string::npos) << word << " in " << run.errors;
        for (const std::string& word : c.unmentioned)
            EXPECT_EQ(run.errors.find(word), std::string::npos) << word << " in " << run.errors;
        const auto shown = readPng(scratch.file("shown.png"));
        EXPECT_EQ(shown.has_value(), c.dumps);
        if (shown && c.dumps) {
            EXPECT_EQ(shown->width, 320);
            EXPECT_EQ(shown->height, 180);
        }
        if (c.heardAtLeast > 0) {
            const auto frames = readTimingLog(scratch.file("timing.log"));
            double heard = 0;
            for (const PresentedFrame& f : frames)
                heard = std::max(heard, f.heard);
            EXPECT_GE(heard, c.heardAtLeast) << frames.size() << " frames in the timing log";
        }
    }
}

} // namespace
} // namespace lumacore::cli::test
