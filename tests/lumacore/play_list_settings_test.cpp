// `lumacore play`'s list and settings on their own: which files a set of inputs becomes, which
// values the window starts with and writes back, and which display server it draws on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "live/display_choice.h"
#include "live/dropped_files.h"
#include "live/live_settings.h"
#include "play/playlist.h"

namespace lumacore::cli {
namespace {

namespace fs = std::filesystem;

class PlaylistFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("lumacore-playlist-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        for (const char* name : {"b.mp3", "a.FLAC", "c.txt", "cover.jpg", "sub/d.ogg", "sub/e.wav",
                                 "sub/deeper/f.opus", "empty/readme"}) {
            fs::create_directories((root_ / name).parent_path());
            std::ofstream(root_ / name) << "x";
        }
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string at(const std::string& name) const { return (root_ / name).string(); }
    fs::path root_;
};

TEST_F(PlaylistFolder, InputsBecomeEntriesInOrder) {
    struct Case {
        const char* what;
        std::vector<std::string> inputs;
        bool recursive;
        std::vector<std::string> entries;
        std::size_t problems;
    };
    const std::vector<Case> cases = {
        {"no input: the demo tune", {}, false, {""}, 0},
        {"a folder: its audio files by name, any case of extension, no subfolders",
         {at("")},
         false,
         {at("a.FLAC"), at("b.mp3")},
         0},
        {"recursive: subfolders too, sorted by path",
         {at("")},
         true,
         {at("a.FLAC"), at("b.mp3"), at("sub/d.ogg"), at("sub/deeper/f.opus"), at("sub/e.wav")},
         0},
        {"a file by name is tried whatever its name, in the order given",
         {at("c.txt"), at("sub")},
         false,
         {at("c.txt"), at("sub/d.ogg"), at("sub/e.wav")},
         0},
        {"a missing path and a folder without audio are said and left out",
         {at("missing.mp3"), at("empty"), at("b.mp3")},
         false,
         {at("b.mp3")},
         2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const Playlist list(c.inputs, c.recursive, problems);
        EXPECT_EQ(list.entries(), c.entries) << c.what;
        EXPECT_EQ(problems.size(), c.problems) << c.what;
    }
}

TEST_F(PlaylistFolder, MovesThroughTheListAndTakesDroppedFiles) {
    std::vector<std::string> problems;
    Playlist list({at("a.FLAC"), at("b.mp3")}, false, problems);
    list.previous();
    EXPECT_EQ(list.current(), 0u) << "the first stays the first";
    EXPECT_TRUE(list.next(false));
    EXPECT_FALSE(list.next(false)) << "the end without --loop";
    EXPECT_EQ(list.current(), 1u);
    EXPECT_TRUE(list.next(true)) << "--loop: the top again";
    EXPECT_EQ(list.current(), 0u);

    const std::size_t first = list.append({at("sub"), at("nothing-here")}, false, problems);
    EXPECT_EQ(first, 2u);
    EXPECT_EQ(list.entries().back(), at("sub/e.wav"));
    EXPECT_EQ(problems.size(), 1u);
    EXPECT_EQ(list.append({at("gone.mp3")}, false, problems), list.entries().size())
        << "nothing appended: nothing to jump to";
}

DisplaySettings fileSettings() {
    DisplaySettings file;
    file.module = DisplayModule::VuMeter;
    file.history.threeD = false;
    file.history.brightness = 1.5f;
    file.history.window = {100, 50, 740, 410};
    file.vuMeter.position = {7, 8};
    return file;
}

// What a drop on the window hands over: its files, in order, once it is complete; texts dropped
// among them are no files. Every name SDL allocated is freed (the leak check of the sanitizer
// tree fails the test otherwise).
TEST(DroppedFiles, AreTakenWholeAndEveryTextIsFreed) {
    struct Event {
        Uint32 type;
        const char* text; // nullptr: none
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<std::string> dropped;
    };
    // clang-format off
    const Case cases[] = {
        {"two files", {{SDL_DROPBEGIN, nullptr}, {SDL_DROPFILE, "a.mp3"}, {SDL_DROPFILE, "b.flac"},
                       {SDL_DROPCOMPLETE, nullptr}}, {"a.mp3", "b.flac"}},
        {"a text among them", {{SDL_DROPBEGIN, nullptr}, {SDL_DROPTEXT, "https://example.org/"},
                               {SDL_DROPFILE, "c.ogg"}, {SDL_DROPCOMPLETE, nullptr}}, {"c.ogg"}},
        {"text alone", {{SDL_DROPTEXT, "words"}, {SDL_DROPCOMPLETE, nullptr}}, {}},
        {"not complete yet", {{SDL_DROPBEGIN, nullptr}, {SDL_DROPFILE, "d.wav"}}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DroppedFiles drops;
        std::vector<std::string> dropped;
        for (const Event& e : c.events) {
            SDL_Event event{};
            event.type = e.type;
            event.drop.file = e.text ? SDL_strdup(e.text) : nullptr;
            EXPECT_TRUE(drops.take(event, dropped));
        }
        EXPECT_EQ(dropped, c.dropped);
    }
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    std::vector<std::string> dropped;
    EXPECT_FALSE(DroppedFiles().take(key, dropped));
}

// A first window, without settings, is 60 % by 50 % of the display it opens on (SDL's first),
// never of all the displays together, and it lies on that display.
TEST(PlaySettings, AFirstWindowFitsTheDisplayItOpensOn) {
    struct Case {
        const char* name;
        std::vector<Rect> displays;
        WindowSize window; // the first window's outer size
    };
    // clang-format off
    const Case cases[] = {
        {"one display", {{0, 0, 1280, 1024}}, {768, 512}},
        {"a second one to the right", {{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}, {1152, 540}},
        {"a second one to the left, above", {{0, 0, 1920, 1080}, {-2560, -400, 0, 1040}},
         {1152, 540}},
        {"three in a row", {{0, 0, 1280, 720}, {1280, 0, 2560, 720}, {2560, 0, 3840, 720}},
         {768, 360}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScreenGeometry screens = screenGeometryOf(c.displays);
        const Rect window =
            loadDisplaySettings("/nonexistent/lumacore.ini", screens).settings.history.window;
        EXPECT_EQ(window.right - window.left, c.window.width);
        EXPECT_EQ(window.bottom - window.top, c.window.height);
        const Rect& first = c.displays.front();
        EXPECT_TRUE(window.left >= first.left && window.right <= first.right &&
                    window.top >= first.top && window.bottom <= first.bottom)
            << window.left << "," << window.top;
    }
}

TEST(PlaySettings, TheCommandLineWinsAndOnlyWindowChangesAreWritten) {
    const DisplaySettings file = fileSettings();

    LiveOptions none;
    const StartDisplay fromFile = startDisplay(none, file, true);
    EXPECT_EQ(fromFile.display.module, ModuleKind::VuMeter);
    EXPECT_FALSE(fromFile.display.threeD);
    EXPECT_FLOAT_EQ(fromFile.display.brightness, 1.5f);
    EXPECT_EQ(fromFile.window, (WindowRect{100, 50, 640, 360}));
    EXPECT_TRUE(fromFile.positioned);

    LiveOptions given;
    given.module = ModuleKind::History;
    given.moduleGiven = true;
    given.threeD = true;
    given.modeGiven = true;
    given.brightness = 0.5f;
    given.brightnessGiven = true;
    given.width = 320;
    given.height = 200;
    given.sizeGiven = true;
    const StartDisplay fromOptions = startDisplay(given, file, false);
    EXPECT_EQ(fromOptions.display.module, ModuleKind::History);
    EXPECT_TRUE(fromOptions.display.threeD);
    EXPECT_FLOAT_EQ(fromOptions.display.brightness, 0.5f);
    EXPECT_EQ(fromOptions.window, (WindowRect{100, 50, 320, 200}));
    EXPECT_FALSE(fromOptions.positioned);

    struct Case {
        const char* what;
        WindowChanges changes;
        ModuleKind shown;
        DisplaySettings expected;
    };
    std::vector<Case> cases;
    cases.push_back({"nothing changed: the file's values", {}, ModuleKind::History, file});
    {
        Case c{"mode, brightness and module changed", {}, ModuleKind::Scope, file};
        c.changes.module = ModuleKind::Scope;
        c.changes.threeD = true;
        c.changes.brightness = 0.7f;
        c.expected.module = DisplayModule::Oscilloscope;
        c.expected.history.threeD = true;
        c.expected.history.brightness = 0.7f;
        cases.push_back(c);
    }
    {
        Case c{
            "the window moved while a scope showed: its position too", {}, ModuleKind::Scope, file};
        c.changes.window = WindowRect{10, 20, 300, 200};
        c.expected.history.window = {10, 20, 310, 220};
        c.expected.oscilloscope.position = {10, 20};
        cases.push_back(c);
    }
    for (const Case& c : cases)
        EXPECT_EQ(settingsToSave(file, c.changes, c.shown), c.expected) << c.what;
}

// A window stays on X11 wherever there is one (a Wayland desktop's X server included); the
// wallpaper goes to Wayland wherever there is that; a choice by name needs its own server.
TEST(DisplayChoice, WindowsPreferX11AndTheWallpaperWayland) {
    using enum DisplayServer;
    struct Case {
        VideoChoice video;
        bool wallpaper, x11Set, waylandSet;
        DisplayServer expected;
    };
    const Case cases[] = {
        {VideoChoice::Auto, false, true, false, X11},
        {VideoChoice::Auto, false, false, true, Wayland},
        {VideoChoice::Auto, false, true, true, X11},
        {VideoChoice::Auto, true, true, true, Wayland},
        {VideoChoice::Auto, true, true, false, X11},
        {VideoChoice::Auto, false, false, false, None},
        {VideoChoice::X11, true, true, true, X11},
        {VideoChoice::X11, false, false, true, None},
        {VideoChoice::Wayland, false, true, true, Wayland},
        {VideoChoice::Wayland, false, true, false, None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chosenDisplayServer(c.video, c.wallpaper, c.x11Set, c.waylandSet), c.expected)
            << static_cast<int>(c.video) << c.wallpaper << c.x11Set << c.waylandSet;
}

} // namespace
} // namespace lumacore::cli
