// The portable settings store against the platform's profile functions: the same files, the same
// reads, the same writes; both must agree on every value, and the portable store must keep every
// line it does not own byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/ini_file_store.h"
#include "host/win32/profile_store.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Query {
    const char* section;
    const char* key;
};

const Query kQueries[] = {
    {"S", "A"}, {"s", "a"},   {" S ", " A "}, {"S", "B"},       {"S", "C"},    {"T", "A"},
    {"T", "B"}, {"", "A"},    {"", "B"},      {"S", "#B"},      {"S", ";A"},   {"S", "A B"},
    {"U", "C"}, {"S", "NEW"}, {"S", "Q"},     {"S] junk", "A"}, {"Other", "A"}};

struct Write {
    const char* section;
    const char* key;
    const char* value;
};

const Write kWrites[] = {{"S", "A", "11"}, {"S", "A", "11"},         {"s", "new", "-12"},
                         {"T", "B", "13"}, {" U ", "C", "  14"},     {"S", "Q", "\"16\""},
                         {"S", "A", ""},   {"S", "A", "-2147483648"}};

struct Case {
    const char* name;
    std::string bytes;
    bool missing = false;
    bool platformForm = false; // already as the platform writes files: both results byte-equal
};

std::string utf16(const std::string& ascii) {
    std::string bytes = "\xff\xfe";
    for (const char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}

const Case kCases[] = {
    {"missing", "", true, true},
    {"empty", "", false, true},
    {"plain", "[S]\r\nA=1\r\n", false, true},
    {"lf", "[S]\nA=1\nB=2\n"},
    {"others", "; top\n\n[Other]\nA=5\n\n[S]\n; c\nA=1\n\n[T]\ny=2"},
    {"spaces", "  [ s ]  \r\n  a   =   5  \r\n b=6"},
    {"case", "[s]\r\na=3\r\n[t]\r\nb=4\r\n"},
    {"numbers", "[S]\nA=-5\nB=4294967295\nC=99999999999\n[T]\nA=+12\nB=12abc\n"},
    {"hex", "[S]\nA=0x1F\nB=0X1F\nC=0b101\n[T]\nA=-0x10\nB=0o17\n"},
    {"empty values", "[S]\nA=\nB\nC= \n"},
    {"quotes", "[S]\nA=\"42\"\nB='43'\nC=\"\"\n[T]\nA=\"5\nB=\" 44\"\n"},
    {"duplicates", "[S]\nA=1\nA=2\n[S]\nB=3\n[s]\nC=4\n"},
    {"outside", "A=9\nB=8\n[S]\nC=1\n"},
    {"comments", "[S]\n;A=3\n#B=5\n; A = 4\n"},
    {"cr", "[S]\rA=3\rB=4\r"},
    {"headers", "[S] junk ]x\nA=3\n[S\nB=4\n"},
    {"long", "[S]\nA=1234567890123456789012345678901\nB=\"1234567890123456789012345678\"\n"
             "C=5 ; note\n"},
    {"nul", "[S]\nA\0x=5\nB=6\0 7\n[T\0u]\nA=8\n"s},
    {"utf8", "\xef\xbb\xbf[S]\r\nA=5\r\n"},
    {"utf16", utf16("[S]\r\nA=5\r\nB=6\r\n")},
    {"unterminated", "[S]\nA=1\n[T]\nB=2"},
    {"nameless", "[S]\n=1\n=2\nA=3\n"},
    {"no value", "[S]\nA\n[T]\n"},
    {"blanks", "[S]\t\x1a\n\tA\t=\t7\x1a\n\x0b\x0c\n"},
    {"bracket key", "[S]=5\nA=1\n"},
};

std::string load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Physical lines, each with its own CR, LF or CRLF.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        result.push_back(text.substr(start, i + 1 - start));
        start = i + 1;
    }
    if (start < text.size()) result.push_back(text.substr(start));
    return result;
}

// Whether a line is a key line of one of the keys written.
bool owned(const std::string& line) {
    std::string name = line.substr(0, line.find('='));
    name.erase(0, name.find_first_not_of(" \t\r\n"));
    name.erase(name.find_last_not_of(" \t\r\n") + 1);
    for (const Write& write : kWrites)
        if (lstrcmpiA(name.c_str(), write.key) == 0) return true;
    return false;
}

// Every line not owned survives, in order and byte for byte; an unterminated last line may have
// gained a line break.
void expectForeignLinesKept(const std::string& before, const std::string& after) {
    const std::vector<std::string> old = lines(before), now = lines(after);
    std::size_t j = 0;
    for (const std::string& line : old) {
        if (owned(line)) continue;
        const bool last = &line == &old.back() && line.find_first_of("\r\n") == std::string::npos;
        while (j < now.size() && now[j] != line && !(last && now[j].rfind(line, 0) == 0))
            ++j;
        ASSERT_LT(j, now.size()) << "lost line: " << line;
        ++j;
    }
}

class SettingsStores : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("lumacore-settings-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    fs::path dir_;
};

TEST_F(SettingsStores, AgreeOnEveryFile) {
    int index = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path platformFile = dir_ / ("profile" + std::to_string(index) + ".ini");
        const fs::path portableFile = dir_ / ("portable" + std::to_string(index) + ".ini");
        ++index;
        if (!c.missing) {
            std::ofstream(platformFile, std::ios::binary) << c.bytes;
            std::ofstream(portableFile, std::ios::binary) << c.bytes;
        }
        ProfileStore platform(platformFile.string());
        IniFileStore portable(portableFile.string());
        const auto expectSameReads = [&](const char* when) {
            ProfileStore platformOnPortable(portableFile.string());
            IniFileStore portableOnPlatform(platformFile.string());
            for (const Query& q : kQueries) {
                const unsigned expected = platform.readInt(q.section, q.key, 7);
                EXPECT_EQ(portable.readInt(q.section, q.key, 7), expected)
                    << when << " [" << q.section << "] " << q.key;
                EXPECT_EQ(platformOnPortable.readInt(q.section, q.key, 7), expected);
                EXPECT_EQ(portableOnPlatform.readInt(q.section, q.key, 7), expected);
            }
        };
        expectSameReads("before writing");
        for (const Write& w : kWrites) {
            const std::string platformBefore = load(platformFile),
                              portableBefore = load(portableFile);
            const bool written = platform.writeString(w.section, w.key, w.value);
            EXPECT_EQ(portable.writeString(w.section, w.key, w.value), written) << w.key;
            if (load(platformFile) == platformBefore) { // the value was already there
                EXPECT_EQ(load(portableFile), portableBefore) << w.key;
            }
        }
        expectSameReads("after writing");
        if (c.platformForm) {
            EXPECT_EQ(load(portableFile), load(platformFile));
        }
        if (c.bytes.rfind("\xff\xfe", 0) != 0) { // line by line needs a byte encoding
            expectForeignLinesKept(c.bytes, load(portableFile));
        }
    }
}

TEST_F(SettingsStores, AgreeWhenThereIsNoFileToUse) {
    fs::create_directories(dir_ / "folder.ini");
    for (const fs::path& path : {dir_ / "folder.ini", dir_ / "absent" / "plugin.ini"}) {
        ProfileStore platform(path.string());
        IniFileStore portable(path.string());
        EXPECT_EQ(portable.readInt("S", "A", -4), platform.readInt("S", "A", -4));
        EXPECT_EQ(portable.writeString("S", "A", "1"), platform.writeString("S", "A", "1"));
        EXPECT_FALSE(fs::is_regular_file(path));
    }
}

} // namespace
} // namespace lumacore
