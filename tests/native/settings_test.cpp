// The settings file: where the plug-in finds it, how each display's keys are read and written,
// reads exactly as the platform's, writes that change only what they own, and writes that hold
// up when they fail or when several writers run at once.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

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
        EXPECT_EQ(store.read().readInt(c.section, c.key, 7), c.expected) << c.file;
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

// A string value as GetPrivateProfileStringA gives it, from one read of the file: a later change
// of the file is not seen by the snapshot.
TEST_F(SettingsFile, SnapshotsReadStringsOnceAsThePlatformDoes) {
    put("[Player]\nModule = vu \nQuoted=\"a b\"\nSingle='x\nEmpty=\nBare\nNul=ab\0cd\n"
        "Bytes=caf\xc3\xa9\n"s);
    const IniSnapshot snapshot = IniFileStore(path_).read();
    put("[Player]\nModule=history\n");
    const struct {
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {"module", "vu"}, {"Quoted", "a b"},        {"Single", "'x"},
        {"Empty", ""},    {"Bare", std::nullopt},   {"Missing", std::nullopt},
        {"Nul", "ab"},    {"Bytes", "caf\xc3\xa9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(snapshot.readString("Player", c.key), c.expected) << c.key;
    EXPECT_TRUE(snapshot.error().empty());
    EXPECT_EQ(IniFileStore(path_).read().readString("Player", "Module"), "history");

    put("\xff\xfe[\0P\0]\0\n\0K\0=\0a\0\x3a\x26\n\0"s); // UTF-16: "a" then U+263A
    EXPECT_EQ(IniFileStore(path_).read().readString("P", "K"), "a?");
}

// A batch gives exactly the bytes of the same writes one at a time, and a batch that changes
// nothing leaves the file as it was (the same file, not a rewritten copy).
TEST_F(SettingsFile, ABatchWritesWhatSeparateWritesWouldInOneReplacement) {
    const std::vector<IniSetting> batch = {
        {"Lumacor 3D", "Posx", "-4"},  {"Lumacor 3D", "Brightness", "150"},
        {"VU Meter", "Screen_x", "9"}, {"", "\xFF\xFE", "1"},
        {"lumacor 3d", "POSX", "12"},  {"Player", "Module", "vu"}};
    for (const std::string& before : {""s, "[Lumacor 3D]\nPosx=5"s, "; c\r\n[VU Meter]\r\n"s,
                                      "\xef\xbb\xbf[Player]\nModule=history\n"s}) {
        put(before);
        IniFileStore store(path_);
        for (const IniSetting& w : batch)
            ASSERT_TRUE(store.writeString(w.section, w.key, w.value));
        const std::string oneByOne = contents();
        put(before);
        EXPECT_EQ(store.write(batch), "");
        EXPECT_EQ(contents(), oneByOne) << before;

        struct stat was = {}, now = {};
        ::stat(path_.c_str(), &was);
        EXPECT_EQ(store.write(batch), "");
        ::stat(path_.c_str(), &now);
        EXPECT_EQ(now.st_ino, was.st_ino) << "an unchanged batch replaced the file";
    }
}

// A line break would let a value add lines of its own, such as a new section that overrides the
// user's: it is refused whole, with a reason, and the file keeps its bytes.
TEST_F(SettingsFile, ALineBreakInAnyNameOrValueIsRefused) {
    const std::string file = "[Lumacor 3D]\r\nBrightness=100\r\n";
    const IniSetting cases[] = {
        {"Player", "Module", "vu\r\n[Lumacor 3D]\r\nBrightness=1"},
        {"Player", "Module", "vu\n"},
        {"Player", "Module", "\rvu"},
        {"Lumacor 3D]\n[Other", "Posx", "1"},
        {"Lumacor 3D", "Posx\nBrightness", "1"},
    };
    for (const IniSetting& c : cases) {
        put(file);
        IniFileStore store(path_);
        const std::string error = store.write({{"Lumacor 3D", "Posx", "3"}, c});
        EXPECT_NE(error.find(path_), std::string::npos) << error;
        EXPECT_NE(error.find("line break"), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
        EXPECT_FALSE(store.writeString(c.section, c.key, c.value));
        EXPECT_EQ(contents(), file);
        EXPECT_EQ(store.readInt("Lumacor 3D", "Brightness", 0), 100u);
    }
}

// Every failed write says why in one line naming the file, leaves the file as it was and creates
// nothing. These fail for a privileged user too (the tests may run as root).
TEST_F(SettingsFile, AFailedWriteSaysWhyAndLeavesEverythingAsItWas) {
    put("[S]\nA=1\n");
    fs::create_directory(dir_ / "folder.ini");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.ini").c_str(), 0600), 0);
    fs::copy_file(path_, dir_ / "locked.ini");
    fs::permissions(dir_ / "locked.ini", fs::perms::owner_read);
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {(dir_ / "folder.ini").string(), "it is a folder"},
        {path_ + "/plugin.ini", "is not a folder"},
        {(dir_ / "absent" / "plugin.ini").string(), "does not exist"},
        {(dir_ / "pipe.ini").string(), "not a regular file"},
        {(dir_ / "locked.ini").string(), "read-only"},
    };
    const auto listing = [this] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    for (const auto& c : cases) {
        const std::string error = IniFileStore(c.path).write({{"S", "A", "2"}});
        EXPECT_EQ(error.rfind("cannot write '" + c.path + "': ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(listing(), before) << c.path;
    }
    EXPECT_EQ(IniFileStore(dir_ / "locked.ini").readInt("S", "A", 0), 1u);
    EXPECT_NE(IniFileStore((dir_ / "folder.ini").string()).read().error().find("it is a folder"),
              std::string::npos);
}

// Writers at once, in threads of one process and in several processes, each setting its own keys
// many times over: every write succeeds and the file ends with every key's last value. (With one
// fixed temporary name and no lock, most rounds lost a key while both writes reported success.)
TEST_F(SettingsFile, WritersAtOnceNeverLoseAKey) {
    constexpr int kWrites = 40;
    // Writer `w` writes its own key kWrites times and then its batch of two keys; false on any
    // failed write.
    const auto writer = [this](int w) {
        IniFileStore store(path_);
        const std::string key = "Key" + std::to_string(w);
        bool ok = true;
        for (int i = 1; i <= kWrites; ++i)
            ok = store.writeString(w % 2 ? "Odd" : "Even", key, std::to_string(i)) && ok;
        return store.write({{"Batch", key + "a", "a"}, {"Batch", key + "b", "b"}}).empty() && ok;
    };
    const auto threads = [&writer](int first, int count) {
        std::vector<char> ok(static_cast<std::size_t>(count), 0);
        std::vector<std::thread> running;
        for (int t = 0; t < count; ++t)
            running.emplace_back([&, t] { ok[static_cast<std::size_t>(t)] = writer(first + t); });
        for (std::thread& t : running)
            t.join();
        return std::count(ok.begin(), ok.end(), 1) == count;
    };
    const struct {
        const char* what;
        int processes;
        int threadsEach;
    } cases[] = {{"threads", 1, 6}, {"processes", 4, 1}, {"processes of threads", 3, 3}};
    for (const auto& c : cases) {
        put("; the user's own line\n[Even]\n");
        std::vector<pid_t> children;
        for (int p = 1; p < c.processes; ++p) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) ::_exit(threads(p * c.threadsEach, c.threadsEach) ? 0 : 1);
            children.push_back(child);
        }
        EXPECT_TRUE(threads(0, c.threadsEach)) << c.what << ": a write failed";
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << c.what << ": a write failed in another process";
        }
        const IniSnapshot file = IniFileStore(path_).read();
        const int writers = c.processes * c.threadsEach;
        for (int w = 0; w < writers; ++w) {
            const std::string key = "Key" + std::to_string(w);
            EXPECT_EQ(file.readInt(w % 2 ? "Odd" : "Even", key, 0), unsigned{kWrites})
                << c.what << ": " << key;
            EXPECT_EQ(file.readString("Batch", key + "a"), "a") << c.what << ": " << key;
            EXPECT_EQ(file.readString("Batch", key + "b"), "b") << c.what << ": " << key;
        }
        EXPECT_EQ(contents().rfind("; the user's own line\n[Even]\n", 0), 0u) << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1)
            << c.what << ": a temporary file was left behind";
    }
}

} // namespace
} // namespace lumacore
