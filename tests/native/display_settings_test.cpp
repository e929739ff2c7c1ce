// The displays' settings as lumacore keeps them on Linux: the XDG location, a load that brings
// every value into range and places windows as the plug-in does, and a save that writes the
// plug-in's own format, keeps what another program changed and says why when it cannot write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/display_settings.h"
#include "host/ini_file_store.h"
#include "host/settings.h"
#include "host/xdg_settings_path.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

// A 1920 x 1080 screen that allows windows up to 4000 x 3000; a window without a stored size
// gets 1152 x 540.
const ScreenGeometry kScreen{{0, 0, 1920, 1080}, {1920, 1080}, {4000, 3000}};

class DisplaySettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lumacore-display-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "lumacore.ini").string();
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    void put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir_;
    std::string path_;
};

DisplaySettings settingsWith(Rect window, bool threeD, float speed, float brightness,
                             Point oscilloscope, Point vuMeter, DisplayModule module) {
    DisplaySettings s;
    s.history = {window, threeD, speed, brightness};
    s.oscilloscope.position = oscilloscope;
    s.vuMeter.position = vuMeter;
    s.module = module;
    return s;
}

TEST(XdgSettingsPath, FollowsTheBaseDirectoryRule) {
    const struct {
        const char* configHome;
        const char* home;
        std::string expected;
    } cases[] = {
        {"/cfg", "/home/u", "/cfg/lumacore/lumacore.ini"},
        {"/cfg/", "/home/u", "/cfg/lumacore/lumacore.ini"},
        {nullptr, "/home/u", "/home/u/.config/lumacore/lumacore.ini"},
        {"", "/home/u/", "/home/u/.config/lumacore/lumacore.ini"},
        {"relative/cfg", "/home/u", "/home/u/.config/lumacore/lumacore.ini"},
        {nullptr, nullptr, ""},
        {"relative", "also/relative", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xdgSettingsPath(c.configHome, c.home), c.expected)
            << (c.configHome ? c.configHome : "(unset)") << ", " << (c.home ? c.home : "(unset)");
}

// Each file's values as the load gives them: in range, and windows where the plug-in would put
// them on this screen.
TEST_F(DisplaySettingsFile, ALoadBringsEveryValueIntoRange) {
    const DisplaySettings defaults =
        settingsWith({0, 0, 1152, 540}, true, 100, 1, {50, 50}, {50, 50}, DisplayModule::History);
    const struct {
        const char* what;
        std::string file;
        DisplaySettings expected;
        const char* problem = "";
    } cases[] = {
        {"empty", "", defaults},
        {"as stored",
         "[Lumacor 3D]\nPosx=100\nPosy=200\nSizex=800\nSizey=600\n3D=0\nSpeed=5000\n"
         "Brightness=150\n[VU Meter]\nScreen_x=300\nScreen_y=-20\n[Player]\nModule=vu\n",
         settingsWith({100, 200, 900, 800}, false, 50, 1.5f, {50, 50}, {300, -20},
                      DisplayModule::VuMeter)},
        {"off every screen, no size, beyond every range",
         "[Lumacor 3D]\nPosx=-5000\nPosy=99999\nSizex=0\nSizey=0\nSpeed=4294967295\n"
         "Brightness=10\n[Oscilliscope]\nScreen_x=100000\nScreen_y=-100000\n",
         settingsWith({-1120, 1048, 32, 1588}, true, 200, 0.2f, {1888, -248}, {50, 50},
                      DisplayModule::History)},
        {"too wide, negative height, negative brightness",
         "[Lumacor 3D]\nSizex=100000\nSizey=-7\nBrightness=-5\nSpeed=-1\n[Player]\nModule=scope",
         settingsWith({0, 0, 4000, 540}, true, 200, 2, {50, 50}, {50, 50},
                      DisplayModule::Oscilloscope)},
        {"an unknown module", "[Player]\nModule=bogus\n", defaults, "'bogus' is not history"},
    };
    for (const auto& c : cases) {
        put(c.file);
        const SettingsLoad load = loadDisplaySettings(path_, kScreen);
        EXPECT_EQ(load.settings, c.expected) << c.what;
        const HistorySettings& h = load.settings.history;
        EXPECT_EQ(h.window, c.expected.history.window) << c.what;
        EXPECT_EQ(h.brightness, c.expected.history.brightness) << c.what;
        EXPECT_EQ(h.speed, c.expected.history.speed) << c.what;
        EXPECT_EQ(load.settings.oscilloscope.position, c.expected.oscilloscope.position) << c.what;
        EXPECT_NE(load.problem.find(c.problem), std::string::npos)
            << c.what << ": " << load.problem;
        EXPECT_EQ(load.problem.empty(), *c.problem == '\0') << c.what << ": " << load.problem;
    }
    fs::remove(path_);
    EXPECT_EQ(loadDisplaySettings(path_, kScreen).settings, defaults);
    EXPECT_EQ(loadDisplaySettings(path_, kScreen).problem, "");
}

// A save writes exactly the plug-in's keys and values, which the plug-in's own readers and the
// next load read back; its folder is made private when it has to be created.
TEST_F(DisplaySettingsFile, ASaveWritesThePluginsFormatAndLoadsBack) {
    const std::string path = (dir_ / "config" / "lumacore" / "lumacore.ini").string();
    const DisplaySettings saved = settingsWith({100, 200, 900, 800}, false, 50, 1.5f, {-30, 60},
                                               {300, -20}, DisplayModule::VuMeter);
    ASSERT_EQ(saveDisplaySettings(path, saved), "");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "[Lumacor 3D]\r\nPosx=100\r\nPosy=200\r\nSizex=800\r\nSizey=600\r\n3D=0\r\n"
              "Speed=5000\r\nBrightness=150\r\n[Oscilliscope]\r\nScreen_x=-30\r\nScreen_y=60\r\n"
              "[VU Meter]\r\nScreen_x=300\r\nScreen_y=-20\r\n[Player]\r\nModule=vu\r\nFollowPlayer=0\r\n");
    for (const fs::path& folder : {dir_ / "config", dir_ / "config" / "lumacore"})
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;

    HistoryState plugin;
    IniFileStore store(path);
    readHistorySettings(plugin, store, kHistorySection);
    EXPECT_EQ(plugin.windowX, 100);
    EXPECT_EQ(plugin.windowHeight, 600);
    EXPECT_EQ(plugin.mode3D, 0);
    EXPECT_EQ(plugin.brightness, 1.5f);
    EXPECT_EQ(loadDisplaySettings(path, kScreen).settings, saved);

    // Values out of range are stored in range; a brightness that is no number as the default.
    DisplaySettings wild = saved;
    wild.history.brightness = std::nanf("");
    wild.history.speed = 1e9f;
    ASSERT_EQ(saveDisplaySettings(path, wild), "");
    EXPECT_EQ(store.readInt(kHistorySection, "Brightness", 0), 100u);
    EXPECT_EQ(store.readInt(kHistorySection, "Speed", 0), 20000u);
}

// The value saved is the value shown: every brightness the + and - keys reach is written as its
// tenths exactly, loads back as itself, and a value the plug-in wrote survives a save of other
// changes (the plug-in's own writer truncates, and 1.3f lies just below 1.3).
TEST_F(DisplaySettingsFile, EveryBrightnessTheKeysReachIsSavedAsShown) {
    struct Walk {
        float from;
        int step; // +1: the + key, -1: the - key
    };
    for (const Walk walk : {Walk{1.0f, +1}, Walk{1.0f, -1}, Walk{2.0f, -1}, Walk{0.2f, +1}}) {
        for (float shown = walk.from;;) {
            const float next = steppedBrightness(shown, walk.step);
            if (next == shown) break; // the end of the range
            shown = next;
            const long tenths = std::lround(shown * 10);
            SCOPED_TRACE("brightness " + std::to_string(tenths) + " tenths");
            DisplaySettings settings;
            settings.history.brightness = shown;
            ASSERT_EQ(saveDisplaySettings(path_, settings), "");
            EXPECT_EQ(IniFileStore(path_).readInt(kHistorySection, "Brightness", 0),
                      static_cast<unsigned>(10 * tenths));
            const SettingsLoad load = loadDisplaySettings(path_, kScreen);
            EXPECT_EQ(steppedBrightness(load.settings.history.brightness, 0), shown);
            // Saved again unchanged, the file stays as it is.
            const std::string before = contents();
            ASSERT_EQ(saveDisplaySettings(path_, load.settings, &load.settings), "");
            EXPECT_EQ(contents(), before);
        }
    }
    // Hundredths the plug-in's slider wrote stay what they were when something else changes.
    for (const unsigned stored : {129u, 69u, 137u, 200u, 20u}) {
        SCOPED_TRACE("Brightness=" + std::to_string(stored));
        put("[Lumacor 3D]\r\nBrightness=" + std::to_string(stored) + "\r\nSpeed=9999\r\n");
        const SettingsLoad load = loadDisplaySettings(path_, kScreen);
        DisplaySettings changed = load.settings;
        changed.module = DisplayModule::Oscilloscope;
        changed.history.threeD = !changed.history.threeD;
        ASSERT_EQ(saveDisplaySettings(path_, changed), "");
        EXPECT_EQ(IniFileStore(path_).readInt(kHistorySection, "Brightness", 0), stored);
        EXPECT_EQ(IniFileStore(path_).readInt(kHistorySection, "Speed", 0), 9999u);
    }
}

// A settings file kept elsewhere (a dotfiles folder) through a link stays linked: each save goes
// to the file it points to.
TEST_F(DisplaySettingsFile, ALinkedFileKeepsItsLinkAndItsTargetIsUpdated) {
    fs::create_directories(dir_ / "dotfiles");
    put("[Lumacor 3D]\r\nBrightness=100\r\n");
    fs::rename(path_, dir_ / "dotfiles" / "lumacore.ini");
    fs::create_symlink("dotfiles/lumacore.ini", path_);
    for (const float brightness : {1.3f, 0.7f}) {
        SettingsLoad load = loadDisplaySettings(path_, kScreen);
        DisplaySettings changed = load.settings;
        changed.history.brightness = brightness;
        ASSERT_EQ(saveDisplaySettings(path_, changed, &load.settings), "");
        EXPECT_TRUE(fs::is_symlink(path_));
        EXPECT_EQ(IniFileStore((dir_ / "dotfiles" / "lumacore.ini").string())
                      .readInt(kHistorySection, "Brightness", 0),
                  static_cast<unsigned>(std::lround(brightness * 100)));
    }
    EXPECT_EQ(fs::directory_iterator(dir_ / "dotfiles")->path().filename(), "lumacore.ini")
        << "a temporary file was left";
}

// Two programs load the same file; each changes something and saves with what it loaded: the
// file keeps both changes and the user's own lines.
TEST_F(DisplaySettingsFile, ASaveKeepsWhatAnotherProgramChangedMeanwhile) {
    put("; mine\n[Lumacor 3D]\nBrightness=100\n");
    const SettingsLoad first = loadDisplaySettings(path_, kScreen);
    const SettingsLoad second = loadDisplaySettings(path_, kScreen);
    DisplaySettings changed = second.settings;
    changed.history.brightness = 1.25f;
    ASSERT_EQ(saveDisplaySettings(path_, changed, &second.settings), "");
    DisplaySettings other = first.settings;
    other.module = DisplayModule::Oscilloscope;
    other.vuMeter.position = {70, 80};
    ASSERT_EQ(saveDisplaySettings(path_, other, &first.settings), "");

    const DisplaySettings now = loadDisplaySettings(path_, kScreen).settings;
    EXPECT_EQ(now.history.brightness, 1.25f);
    EXPECT_EQ(now.module, DisplayModule::Oscilloscope);
    EXPECT_EQ(now.vuMeter.position, (Point{70, 80}));
    EXPECT_EQ(contents().rfind("; mine\n[Lumacor 3D]\nBrightness=125\n", 0), 0u) << contents();

    const std::string before = contents();
    EXPECT_EQ(saveDisplaySettings(path_, now, &now), ""); // nothing changed: nothing written
    EXPECT_EQ(contents(), before);
}

// Files that cannot be used give one line to show: the load falls back to the defaults, the
// save writes nothing. (These fail for a privileged user too.)
TEST_F(DisplaySettingsFile, FilesThatCannotBeUsedGiveOneLine) {
    put("[Player]\nModule=vu\n");
    fs::create_directory(dir_ / "folder.ini");
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir_ / "folder.ini").string(), "it is a folder"},
        {path_ + "/lumacore.ini", "is not a folder"},
    };
    const DisplaySettings defaults =
        loadDisplaySettings((dir_ / "missing.ini").string(), kScreen).settings;
    for (const auto& c : cases) {
        const SettingsLoad load = loadDisplaySettings(c.path, kScreen);
        EXPECT_EQ(load.settings, defaults) << c.path;
        EXPECT_NE(load.problem.find("cannot read '" + c.path + "'"), std::string::npos)
            << load.problem;

        const std::string error = saveDisplaySettings(c.path, load.settings);
        EXPECT_EQ(error.rfind("cannot write '" + c.path + "': ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        for (const std::string& line : {load.problem, error})
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    }
    EXPECT_EQ(contents(), "[Player]\nModule=vu\n");
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.ini"));
}

} // namespace
} // namespace lumacore
