#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>

#include "host/ini_file_store.h"
#include "host/settings.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lumacore-settings-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "plugin.ini").string();
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(path_, fs::perms::owner_all, error);
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

TEST(SettingsPath, SitsBesideTheLibrary) {
    EXPECT_EQ(settingsPath("D:\\a\\b\\vis.dll"), "D:\\a\\b\\plugin.ini");
    EXPECT_EQ(settingsPath("C:\\vis.dll"), "C:\\plugin.ini");
    EXPECT_EQ(settingsPath("vis.dll"), "plugin.ini");
    EXPECT_EQ(settingsPath(""), "plugin.ini");
    EXPECT_EQ(settingsPath("D:/a/b/vis.dll"), "plugin.ini"); // only backslashes separate
}

TEST(Hundredths, TruncatesAndKeepsTheReadableBitPattern) {
    EXPECT_EQ(hundredths(0.7f), 69); // the float nearest 0.7 lies just below it
    EXPECT_EQ(hundredths(1.5f), 150);
    EXPECT_EQ(hundredths(std::nanf("")), 0);
    EXPECT_EQ(hundredths(-INFINITY), INT_MIN);
    EXPECT_EQ(hundredths(-0.019f), -1);
    // Beyond INT_MAX: the bit pattern, which the unsigned read turns back into the same value.
    EXPECT_EQ(hundredths(42949672.0f), static_cast<int>(4294967200u));
    EXPECT_EQ(hundredths(21474836.0f), static_cast<int>(2147483600u));
    for (const float huge : {INFINITY, 1e30f, 42949676.0f})
        EXPECT_EQ(hundredths(huge), -1);
}

TEST_F(SettingsFile, NoFileLeavesTheLoadValues) {
    HistoryState state;
    IniFileStore store(path_);
    readHistorySettings(state, store, "Lumacor 3D");
    const HistoryState fresh;
    EXPECT_TRUE(state.settingsLoaded);
    EXPECT_EQ(state.windowX, fresh.windowX);
    EXPECT_EQ(state.windowWidth, fresh.windowWidth);
    EXPECT_EQ(state.mode3D, fresh.mode3D);
    EXPECT_EQ(state.speed, fresh.speed);
    EXPECT_EQ(state.brightness, fresh.brightness);
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(SettingsFile, ReadsConvertEachKey) {
    put("[lumacor 3d]\nPosx=-5\nposy=12\nSizex=800\n3D=7\nSpeed=150\nBrightness=69\n"
        "[Lumacor 3D]\nSizey=1\n");
    HistoryState state;
    IniFileStore store(path_);
    readHistorySettings(state, store, "Lumacor 3D");
    EXPECT_EQ(state.windowX, -5);
    EXPECT_EQ(state.windowY, 12);
    EXPECT_EQ(state.windowWidth, 800);
    EXPECT_EQ(state.windowHeight, 0); // only the first section of a name is read
    EXPECT_EQ(state.mode3D, 1);
    EXPECT_EQ(state.speed, 1.5f);
    EXPECT_EQ(state.brightness, 0.69f);

    put("[Lumacor 3D]\nPosx=1\n");
    readHistorySettings(state, store, "Lumacor 3D"); // once per load
    EXPECT_EQ(state.windowX, -5);
}

TEST_F(SettingsFile, WritesReadBackToTheSameState) {
    put("[Lumacor 3D]\n3D=7\nSpeed=4294967295\n");
    HistoryState state;
    IniFileStore store(path_);
    readHistorySettings(state, store, "Lumacor 3D");
    EXPECT_EQ(state.speed, static_cast<float>(4294967295.0 * 0.01));
    state.brightness = 0.7f;
    state.windowRect = {-20, 30, 1004, 798};
    writeHistorySettings(state, store, "Lumacor 3D");
    EXPECT_EQ(store.readInt("Lumacor 3D", "3D", 5), 1u);
    EXPECT_EQ(store.readInt("Lumacor 3D", "Brightness", 5), 69u);

    HistoryState again;
    readHistorySettings(again, store, "Lumacor 3D");
    EXPECT_EQ(again.windowX, -20);
    EXPECT_EQ(again.windowY, 30);
    EXPECT_EQ(again.windowWidth, 1024);
    EXPECT_EQ(again.windowHeight, 768);
    EXPECT_EQ(again.speed, state.speed); // not saturated at INT_MAX
    EXPECT_EQ(again.brightness, 0.69f);

    ScopeState scope{300, -120, nullptr};
    writeScopeSettings(scope, store, "VU Meter");
    ScopeState other;
    readScopeSettings(other, store, "VU Meter");
    EXPECT_EQ(other.screenX, 300);
    EXPECT_EQ(other.screenY, -120);
    readScopeSettings(other, store, "Oscilliscope"); // missing section: unchanged
    EXPECT_EQ(other.screenX, 300);
}

// Files as the platform reads them (observed with GetPrivateProfileIntA under Wine).
TEST_F(SettingsFile, ReadsAsThePlatformDoes) {
    const struct {
        std::string file, section, key;
        unsigned expected; // fallback 7
    } cases[] = {
        {"[S]\nA=-5\n", "S", "A", 4294967291u},
        {"[S]\nA=4294967296\n", "S", "A", 0u}, // wraps modulo 2^32
        {"[S]\nA=+12\n", "S", "A", 12u},
        {"[S]\nA=12abc\n", "S", "A", 12u},
        {"[S]\nA=0x1F\n", "S", "A", 31u},
        {"[S]\nA=0X1F\n", "S", "A", 0u}, // only lower-case prefixes
        {"[S]\nA=0b101\n", "S", "A", 5u},
        {"[S]\nA=- 5\n", "S", "A", 0u},
        {"[S]\nA=\n", "S", "A", 7u},
        {"[S]\nA\n", "S", "A", 7u},
        {"[S]\nA=\"42\"\n", "S", "A", 42u},
        {"[S]\nA=\" 44\"\n", "S", "A", 44u},
        {"[S]\nA=\"\"\n", "S", "A", 7u},
        {"[S]\nA=\"5\n", "S", "A", 0u},
        {"[S]\nA=\0325\n", "S", "A", 5u},                                    // ^Z is a blank
        {"[S]\nA=5\0009\n"s, "S", "A", 5u},                                  // a NUL ends the value
        {"[S]\nA=1234567890123456789012345678901\n", "S", "A", 1849262357u}, // 29 characters
        {"  [ s ]  \r\n  a   =   5  \r\n", " S ", "A ", 5u},
        {"[S]\nA=1\n[S]\nA=2\nB=3\n", "S", "B", 7u}, // only the first [S] is searched
        {"[S]\nA=1\nA=2\n", "S", "A", 1u},
        {"A=9\n[S]\nB=1\n", "S", "A", 7u},
        {"A=9\n[S]\nB=1\n", "", "A", 9u},
        {"[S]\n;A=3\n#B=5\n", "S", "#B", 5u},
        {"[S]\rA=3\rB=4\r", "S", "B", 4u},
        {"[S] junk ]x\nA=3\n", "S] junk", "A", 3u},
        {"[S]\nA\0x=5\n[T\0u]\nC=8\n"s, "T", "C", 8u},
        {"\xef\xbb\xbf[S]\nA=5\n", "S", "A", 5u},
        {"\xff\xfe[\0S\0]\0\n\0A\0=\0003\0\n\0"s, "S", "A", 3u},
        {"\xfe\xff\0[\0S\0]\0\n\0A\0=\0003\0\n"s, "S", "A", 3u},
    };
    IniFileStore store(path_);
    for (const auto& c : cases) {
        put(c.file);
        EXPECT_EQ(store.readInt(c.section, c.key, 7), c.expected) << c.file;
    }
}

// Writing changes the owned line or adds one; every other byte stays.
TEST_F(SettingsFile, WritesKeepForeignLines) {
    const std::string head = "; top\r\n\r\n[Other]\nx = 1 \r\n\n[Lumacor 3D]\r\n  Posx = 5  \r\n";
    const std::string tail = "; note\r\n\r\n[VU Meter]\nScreen_x=1";
    put(head + tail);
    IniFileStore store(path_);
    EXPECT_TRUE(store.writeString("Lumacor 3D", "Posx", "5"));
    EXPECT_EQ(contents(), head + tail); // unchanged value: untouched
    EXPECT_TRUE(store.writeString("lumacor 3d", "POSX", "-17"));
    const std::string changed =
        "; top\r\n\r\n[Other]\nx = 1 \r\n\n[Lumacor 3D]\r\n  Posx = -17  \r\n";
    EXPECT_EQ(contents(), changed + tail);
    EXPECT_TRUE(store.writeString("Lumacor 3D", "Posy", "3"));
    EXPECT_EQ(contents(), changed + "; note\r\nPosy=3\r\n\r\n[VU Meter]\nScreen_x=1");
    EXPECT_TRUE(store.writeString("VU Meter", "Screen_y", "4"));
    EXPECT_TRUE(store.writeString("Oscilliscope", "Screen_x", "5"));
    EXPECT_EQ(contents(), changed +
                              "; note\r\nPosy=3\r\n\r\n[VU Meter]\nScreen_x=1\r\nScreen_y=4\r\n"
                              "[Oscilliscope]\r\nScreen_x=5\r\n");
    EXPECT_EQ(store.readInt("VU Meter", "Screen_x", 0), 1u);
    EXPECT_EQ(store.readInt("Other", "x", 0), 1u);

    put("[S]\nA\nB=1\n");
    EXPECT_TRUE(store.writeString("S", "a", "2"));
    EXPECT_EQ(contents(), "[S]\nA=2\nB=1\n");
}

// A key written first into a file without a mark must not make its first bytes read as one:
// the file would turn into UTF-16 (or lose the name's first bytes) and every key would be lost.
TEST_F(SettingsFile, ANewFirstLineNeverBecomesAByteOrderMark) {
    const struct {
        std::string before, key, after;
    } cases[] = {
        {"[Lumacor 3D]\r\nPosx=5\r\n", "\xFF\xFEpeed", "\r\n\xFF\xFEpeed=7\r\n"},
        {"[Lumacor 3D]\nPosx=5\n", "\xFE\xFFx", "\n\xFE\xFFx=7\n"},
        {"[Lumacor 3D]\nPosx=5", "\xEF\xBB\xBFk", "\n\xEF\xBB\xBFk=7\n"},
        {"", "\xFF\xFE", "\r\n\xFF\xFE=7\r\n"},
        {"[Lumacor 3D]\nPosx=5", "\xFFk", "\xFFk=7\n"}, // no mark: as any other key
    };
    for (const auto& c : cases) {
        put(c.before);
        IniFileStore store(path_);
        EXPECT_TRUE(store.writeString("", c.key, "7"));
        EXPECT_EQ(contents(), c.after + c.before);
        EXPECT_EQ(store.readInt("", c.key, 0), 7u);
        if (!c.before.empty()) {
            EXPECT_EQ(store.readInt("Lumacor 3D", "Posx", 0), 5u);
        }
    }
}

TEST_F(SettingsFile, CorruptFilesGiveFallbacksAndFailedWritesLoseNothing) {
    std::mt19937 random(1234);
    std::string junk(4096, '\0');
    for (char& c : junk)
        c = static_cast<char>(random());
    junk[0] = 'J'; // no byte-order mark
    put(junk);
    IniFileStore store(path_);
    EXPECT_EQ(store.readInt("Lumacor 3D", "Posx", -3), static_cast<unsigned>(-3));
    EXPECT_TRUE(store.writeString("Lumacor 3D", "Posx", "8"));
    EXPECT_EQ(contents().substr(0, junk.size()), junk);
    EXPECT_EQ(store.readInt("Lumacor 3D", "Posx", -3), 8u);

    put("[S]\nA=1\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(store.writeString("S", "A", "2")); // read-only, even for a privileged user
    EXPECT_EQ(contents(), "[S]\nA=1\n");
    EXPECT_EQ(store.readInt("S", "A", 0), 1u);

    IniFileStore directory(dir_.string());
    EXPECT_EQ(directory.readInt("S", "A", 6), 6u);
    EXPECT_FALSE(directory.writeString("S", "A", "2"));
    EXPECT_TRUE(fs::is_directory(dir_));

    IniFileStore underFile(path_ + "/plugin.ini");
    EXPECT_EQ(underFile.readInt("S", "A", 6), 6u);
    EXPECT_FALSE(underFile.writeString("S", "A", "2"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

} // namespace
} // namespace lumacore
