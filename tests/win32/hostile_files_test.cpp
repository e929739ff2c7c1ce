// The displays against a hostile settings file and surroundings, end to end through vishost: a
// read-only file, a folder in the file's place, the library at and beyond the 260-character path
// limit, a file of a megabyte, and every key far out of range. Each run must start, give the
// defaults or a safe value, and leave every line that is not the display's own as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "host/window_placement.h"
#include "vishost/options.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

using vishost::Report;
using vishost::WindowSnapshot;

struct Display {
    int module;
    const char* section;
};
constexpr Display kHistory{0, "Lumacor 3D"};
constexpr Display kOscilloscope{1, "Oscilliscope"};
constexpr Display kVuMeter{2, "VU Meter"};
constexpr Display kDisplays[] = {kHistory, kOscilloscope, kVuMeter};

// Runs a display for three frames; the windows are also taken before the first (label "start").
Report runDisplay(const std::string& dll, int module, std::vector<std::string> extra = {}) {
    const std::string picture = tempFile("start.bmp");
    std::vector<std::string> args{
        dll, "--module", std::to_string(module), "--single-thread", "--no-delay", "--count",
        "3", "--at",     "0:dump:" + picture};
    args.insert(args.end(), extra.begin(), extra.end());
    Report report = vishost::runSession(vishost::parseCommandLine(args));
    DeleteFileA(picture.c_str());
    for (auto& s : report.snapshots)
        if (s.label == "dump:" + picture) s.label = "start";
    return report;
}

const vishost::Snapshot* endSnapshot(const Report& report) {
    for (const auto& s : report.snapshots)
        if (s.label == "end") return &s;
    return nullptr;
}

// The display's window at the end of the run, or as it was created.
const WindowSnapshot* displayWindow(const Report& report, const std::string& label = "end") {
    for (const auto& s : report.snapshots)
        if (s.label == label)
            for (const auto& w : s.windows)
                if (w.role == "window") return &w;
    return nullptr;
}

const WindowSnapshot* createdWindow(const Report& report) {
    return displayWindow(report, "start");
}

const WindowSnapshot* control(const Report& report, int id) {
    if (const vishost::Snapshot* s = endSnapshot(report))
        for (const auto& w : s->windows)
            if (w.role == "control" && w.controlId == id) return &w;
    return nullptr;
}

std::wstring wide(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string bytesOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

void putBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// The lines of a settings file that are not the display's own keys: every line outside its
// section, and the keys inside it that the display does not use. The platform writes the file
// back in its own form, so the files here are written in that form (CRLF, no blank lines).
std::vector<std::string> foreignLines(const std::string& text, const Display& display) {
    const std::vector<std::string> ours =
        display.module == 0 ? std::vector<std::string>{"posx", "posy",  "sizex",     "sizey",
                                                       "3d",   "speed", "brightness"}
                            : std::vector<std::string>{"screen_x", "screen_y"};
    const std::string section = display.section;
    const auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return s;
    };
    std::vector<std::string> lines;
    bool inside = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 2;
        if (!line.empty() && line[0] == '[') inside = lower(line) == lower("[" + section + "]");
        const std::string key = lower(line.substr(0, line.find('=')));
        if (inside && line[0] != '[' && std::find(ours.begin(), ours.end(), key) != ours.end())
            continue;
        lines.push_back(line);
    }
    return lines;
}

// Foreign sections before and after the display's own, and a foreign key inside it.
std::string settingsText(const std::string& section, const std::string& ownKeys) {
    return "[Other Plugin]\r\nColour=12\r\nName=left alone\r\n[" + section +
           "]\r\nNote=not ours\r\n" + ownKeys + "[Zeta]\r\nLast=1\r\n";
}

// At least this much of the window lies on the virtual screen, across and down.
void expectReachable(const WindowSnapshot& w) {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const long long across = std::min<long long>(w.rect.right, right) - std::max(w.rect.left, left);
    const long long down = std::min<long long>(w.rect.bottom, bottom) - std::max(w.rect.top, top);
    EXPECT_GE(across, kReachableExtent) << w.rect.left << ".." << w.rect.right;
    EXPECT_GE(down, kReachableExtent) << w.rect.top << ".." << w.rect.bottom;
}

WindowSize defaultHistorySize() {
    return {static_cast<int>(0.6 * GetSystemMetrics(SM_CXSCREEN)),
            static_cast<int>(0.5 * GetSystemMetrics(SM_CYSCREEN))};
}

// The window where a display without settings stands.
void expectDefaults(const Report& report, const Display& display) {
    EXPECT_EQ(report.initResult, 0) << display.section;
    EXPECT_TRUE(report.errors.empty()) << display.section;
    const WindowSnapshot* w = createdWindow(report);
    ASSERT_NE(w, nullptr) << display.section;
    const int origin = display.module == 0 ? 0 : 50;
    EXPECT_EQ(w->rect.left, origin) << display.section;
    EXPECT_EQ(w->rect.top, origin) << display.section;
    if (display.module == 0) {
        EXPECT_EQ(w->rect.right - w->rect.left, defaultHistorySize().width);
        EXPECT_EQ(w->rect.bottom - w->rect.top, defaultHistorySize().height);
    }
}

std::string ownPlacement(const Display& display, int x, int y) {
    if (display.module != 0)
        return "Screen_x=" + std::to_string(x) + "\r\nScreen_y=" + std::to_string(y) + "\r\n";
    return "Posx=" + std::to_string(x) + "\r\nPosy=" + std::to_string(y) +
           "\r\nSizex=500\r\nSizey=320\r\n3D=1\r\nSpeed=150\r\nBrightness=50\r\n";
}

// Whether anything can open the file for writing now.
bool writable(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Runs a host program (Wine starts Unix programs by their path) and waits for `done`.
bool runHostCommand(const std::string& command, const std::function<bool()>& done) {
    std::string line = command;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 5000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 50 && !done(); ++i)
        Sleep(100);
    return done();
}

// Makes a file read-only as a user does, with its read-only attribute. Wine running as root
// opens such a file for writing all the same; then the host's immutable flag is set as well, and
// cleared again at the end.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path) : path_(wide(path)) {
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        if (!writable(path_)) return;
        using UnixName = char*(CDECL*)(const WCHAR*);
        const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        char* name = unixName ? unixName(path_.c_str()) : nullptr;
        if (name == nullptr) return;
        unixPath_ = name;
        HeapFree(GetProcessHeap(), 0, name);
        if (unixPath_.find_first_of(" '\"") != std::string::npos) return;
        immutable_ =
            runHostCommand("/usr/bin/chattr +i " + unixPath_, [this] { return !writable(path_); });
    }
    ~ReadOnlyFile() {
        if (!unixPath_.empty())
            runHostCommand("/usr/bin/chattr -i " + unixPath_, [this] { return writable(path_); });
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool effective() const { return !writable(path_); }
    const char* how() const { return immutable_ ? "immutable flag" : "read-only attribute"; }

  private:
    std::wstring path_;
    std::string unixPath_;
    bool immutable_ = false;
};

TEST(HostileSettings, AReadOnlyFileIsReadAndLeftByteForByte) {
    for (const Display& display : kDisplays) {
        SCOPED_TRACE(display.section);
        PluginFolder folder(LUMACORE_DLL_PATH);
        const std::string before = settingsText(display.section, ownPlacement(display, 40, 30));
        folder.writeSettings(before);
        {
            const ReadOnlyFile readOnly(folder.settingsFile());
            if (!readOnly.effective())
                GTEST_SKIP() << "this machine cannot make a file read-only for Wine";
            SCOPED_TRACE(readOnly.how());
            const Report report = runDisplay(folder.dll(), display.module,
                                             {"--at", "1:move:200,150", "--at", "1:command:1010"});
            EXPECT_EQ(report.initResult, 0);
            EXPECT_TRUE(report.quitCalled);
            const WindowSnapshot* w = createdWindow(report);
            ASSERT_NE(w, nullptr);
            // Read as usual; the move that follows is not written.
            EXPECT_EQ(w->rect.left, 40);
            EXPECT_EQ(w->rect.top, 30);
            ASSERT_NE(displayWindow(report), nullptr);
            EXPECT_EQ(displayWindow(report)->rect.left, 200);
            if (display.module == 0) {
                ASSERT_NE(control(report, 1000), nullptr);
                EXPECT_EQ(control(report, 1000)->value, 5); // Brightness=50 was read
            }
        }
        EXPECT_EQ(folder.readSettings(), before);
    }
}

// Where a file named "plugin.ini" is expected, a folder of that name.
class FolderInThePlace {
  public:
    explicit FolderInThePlace(std::string path) : path_(std::move(path)) {
        created_ = CreateDirectoryA(path_.c_str(), nullptr) != FALSE;
    }
    ~FolderInThePlace() { RemoveDirectoryA(path_.c_str()); }
    FolderInThePlace(const FolderInThePlace&) = delete;
    FolderInThePlace& operator=(const FolderInThePlace&) = delete;
    bool created() const { return created_; }
    bool stillThere() const {
        const DWORD attributes = GetFileAttributesA(path_.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

  private:
    std::string path_;
    bool created_ = false;
};

TEST(HostileSettings, AFolderInTheFilesPlaceGivesTheDefaults) {
    for (const Display& display : kDisplays) {
        SCOPED_TRACE(display.section);
        PluginFolder folder(LUMACORE_DLL_PATH);
        const FolderInThePlace inThePlace(folder.settingsFile());
        ASSERT_TRUE(inThePlace.created());
        const Report report = runDisplay(folder.dll(), display.module, {"--at", "1:move:200,150"});
        EXPECT_TRUE(report.quitCalled);
        expectDefaults(report, display);
        EXPECT_TRUE(inThePlace.stillThere());
    }
}

// A copy of the plug-in in a folder nested deep enough that the library's full name has exactly
// `length` characters. Levels are at most 100 characters; one ends exactly at `levelEnd`
// characters when that is given. Everything is removed at the end.
class DeepFolder {
  public:
    static constexpr int kNameLength = 16; // "vis_lumacore.dll"

    DeepFolder(int length, int levelEnd) {
        static int serial = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring path = temp + std::wstring(L"lumacore-deep-") +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(++serial);
        add(path);
        if (levelEnd > 0) extend(path, levelEnd);
        extend(path, length - kNameLength - 1);
        dll_ = path + L"\\vis_lumacore.dll";
        wchar_t source[MAX_PATH];
        GetFullPathNameW(wide(LUMACORE_DLL_PATH).c_str(), MAX_PATH, source, nullptr);
        copied_ = CopyFileW(source, dll_.c_str(), FALSE) != FALSE;
    }
    ~DeepFolder() {
        for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
            for (const wchar_t* name : {L"\\plugin.ini", L"\\vis_lumacore.dll"}) {
                const std::wstring file = *level + name;
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(file.c_str());
            }
            RemoveDirectoryW(level->c_str());
        }
    }
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    bool ready() const { return copied_; }
    const std::wstring& dll() const { return dll_; }
    std::wstring folder() const { return levels_.back(); }
    // The folder whose name ends after exactly `length` characters.
    std::wstring level(int length) const {
        for (const std::wstring& level : levels_)
            if (static_cast<int>(level.size()) == length) return level;
        return L"";
    }

  private:
    void add(const std::wstring& path) {
        CreateDirectoryW(path.c_str(), nullptr);
        levels_.push_back(path);
    }
    // Adds levels until the path is `length` characters long.
    void extend(std::wstring& path, int length) {
        while (static_cast<int>(path.size()) < length) {
            const int room = length - static_cast<int>(path.size()) - 1; // after the backslash
            int part = std::min(room, 100);
            if (room - part == 1) --part; // leave room for a backslash and a character
            path += L"\\" + std::wstring(part, static_cast<wchar_t>(L'a' + levels_.size() % 26));
            add(path);
        }
    }

    std::vector<std::wstring> levels_;
    std::wstring dll_;
    bool copied_ = false;
};

// Keeps the library loaded from its long name, where vishost's ANSI load cannot reach; vishost
// then finds it by its base name.
struct HeldLibrary {
    HMODULE handle;
    explicit HeldLibrary(const std::wstring& path) : handle(LoadLibraryW(path.c_str())) {}
    ~HeldLibrary() {
        if (handle) FreeLibrary(handle);
    }
    HeldLibrary(const HeldLibrary&) = delete;
    HeldLibrary& operator=(const HeldLibrary&) = delete;
};

TEST(HostileSettings, AtThePathLimitTheSettingsStayBesideTheLibrary) {
    // 259 characters fit the 260-character buffer with its terminator; 260 fill it without one.
    for (const int length : {259, 260}) {
        for (const Display& display : kDisplays) {
            SCOPED_TRACE(std::to_string(length) + " " + display.section);
            const DeepFolder deep(length, 0);
            ASSERT_TRUE(deep.ready());
            const std::wstring settings = deep.folder() + L"\\plugin.ini";
            putBytes(settings, settingsText(display.section, ownPlacement(display, 40, 30)));
            const HeldLibrary held(deep.dll());
            ASSERT_NE(held.handle, nullptr);
            const Report report =
                runDisplay("vis_lumacore.dll", display.module, {"--at", "1:move:200,150"});
            const WindowSnapshot* w = createdWindow(report);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->rect.left, 40);
            EXPECT_EQ(w->rect.top, 30);
            const std::string after = bytesOf(settings);
            const std::string x = display.module == 0 ? "Posx=200" : "Screen_x=200";
            EXPECT_NE(after.find(x), std::string::npos) << after;
        }
    }
}

TEST(HostileSettings, BeyondThePathLimitNoOtherFoldersFileIsTouched) {
    // The full name is 290 characters; cut at the 260-character buffer, it ends inside the last
    // folder's name, and what stands before the cut names the folder 200 characters long, which
    // holds a settings file of its own.
    constexpr int kLength = 290, kCutFolder = 200;
    for (const Display& display : kDisplays) {
        SCOPED_TRACE(display.section);
        const DeepFolder deep(kLength, kCutFolder);
        ASSERT_TRUE(deep.ready());
        ASSERT_EQ(static_cast<int>(deep.dll().size()), kLength);
        const std::wstring other = deep.level(kCutFolder) + L"\\plugin.ini";
        ASSERT_EQ(static_cast<int>(deep.dll().rfind(L'\\', MAX_PATH - 2)), kCutFolder);
        const std::string otherBefore =
            settingsText(display.section, ownPlacement(display, 123, 111));
        putBytes(other, otherBefore);
        const HeldLibrary held(deep.dll());
        ASSERT_NE(held.handle, nullptr);
        const Report report =
            runDisplay("vis_lumacore.dll", display.module, {"--at", "1:move:200,150"});
        EXPECT_TRUE(report.quitCalled);
        EXPECT_EQ(bytesOf(other), otherBefore);
        const WindowSnapshot* w = createdWindow(report);
        ASSERT_NE(w, nullptr);
        EXPECT_NE(w->rect.left, 123); // not where the other folder's file puts it
        // Its own file lies beyond what the profile functions open here: the defaults.
        if (bytesOf(deep.folder() + L"\\plugin.ini").empty()) expectDefaults(report, display);
    }
}

TEST(HostileSettings, AMegabyteFileIsReadAndOnlyTheDisplaysKeysChange) {
    // A megabyte of other sections before the display's own, or one line of a megabyte.
    std::string sections;
    for (int i = 0; sections.size() < (1 << 20); ++i)
        sections += "[Section " + std::to_string(i) + "]\r\nKey=" + std::to_string(i) + "\r\n";
    const std::string longLine = "[Long]\r\nLine=" + std::string(1 << 20, 'x') + "\r\n";
    for (const std::string& filler : {sections, longLine}) {
        for (const Display& display : kDisplays) {
            SCOPED_TRACE(std::string(display.section) + (filler == longLine ? " long line" : ""));
            PluginFolder folder(LUMACORE_DLL_PATH);
            const std::string before =
                filler + settingsText(display.section, ownPlacement(display, 40, 30));
            folder.writeSettings(before);
            const Report report =
                runDisplay(folder.dll(), display.module, {"--at", "1:move:200,150"});
            const WindowSnapshot* w = createdWindow(report);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->rect.left, 40);
            EXPECT_EQ(w->rect.top, 30);
            const std::string after = folder.readSettings();
            EXPECT_TRUE(foreignLines(after, display) == foreignLines(before, display));
            const std::string x = display.module == 0 ? "Posx=200\r\n" : "Screen_x=200\r\n";
            EXPECT_NE(after.find(x), std::string::npos);
        }
    }
}

// Values no window should be created from, as the profile functions read them: the int range's
// ends, what wraps to them, junk (0), nothing (the default) and hexadecimal.
const char* const kOutOfRange[] = {"-2147483648", "2147483647", "-1",        "4294967295",
                                   "99999999999", "junk",       "",          "0x7FFFFFFF",
                                   "0x80000000",  "-300",       "1000000000"};

TEST(HostileSettings, EveryKeyFarOutOfRangeGivesAReachableWindow) {
    const int largestWidth = GetSystemMetrics(SM_CXMAXTRACK);
    const int largestHeight = GetSystemMetrics(SM_CYMAXTRACK);
    for (const Display& display : kDisplays) {
        for (const std::string value : kOutOfRange) {
            SCOPED_TRACE(std::string(display.section) + " = '" + value + "'");
            PluginFolder folder(LUMACORE_DLL_PATH);
            std::string own;
            for (const char* key : {"Posx", "Posy", "Sizex", "Sizey", "3D", "Speed", "Brightness",
                                    "Screen_x", "Screen_y"})
                own += std::string(key) + "=" + value + "\r\n";
            const std::string before = settingsText(display.section, own);
            folder.writeSettings(before);
            // The width as the platform reads it, before the run writes the window's own.
            const int storedWidth = static_cast<int>(
                GetPrivateProfileIntA(display.section, "Sizex", 0, folder.settingsFile().c_str()));
            const Report report = runDisplay(folder.dll(), display.module,
                                             {"--at", "1:command:1010", "--at", "2:timer"});
            EXPECT_EQ(report.initResult, 0);
            EXPECT_TRUE(report.quitCalled);
            EXPECT_TRUE(report.errors.empty());
            EXPECT_EQ(report.framesRendered, 3);
            const WindowSnapshot* w = createdWindow(report);
            ASSERT_NE(w, nullptr);
            expectReachable(*w);
            const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
            EXPECT_GT(width, 0);
            EXPECT_GT(height, 0);
            EXPECT_LE(width, largestWidth);
            EXPECT_LE(height, largestHeight);
            if (display.module == 0 && storedWidth <= 0) { // no usable size: the default one
                EXPECT_EQ(width, defaultHistorySize().width);
                EXPECT_EQ(height, defaultHistorySize().height);
            }
            if (display.module == 0) {
                // The dialog's sliders show the speed and brightness within their ranges.
                ASSERT_NE(control(report, 1002), nullptr);
                ASSERT_NE(control(report, 1000), nullptr);
                EXPECT_GE(control(report, 1002)->value, 0);
                EXPECT_LE(control(report, 1002)->value, 200);
                EXPECT_GE(control(report, 1000)->value, 2);
                EXPECT_LE(control(report, 1000)->value, 20);
            }
            const std::string after = folder.readSettings();
            EXPECT_TRUE(foreignLines(after, display) == foreignLines(before, display)) << after;
        }
    }
}

TEST(HostileSettings, InRangePlacementsAreKeptExactly) {
    // Partly off the screen, but reachable: as stored.
    const int right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const struct {
        Display display;
        int x, y;
    } cases[] = {{kHistory, -8, -8},
                 {kHistory, right - 100, 300},
                 {kOscilloscope, -200, 10},
                 {kVuMeter, right - kReachableExtent, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.display.section) + " " + std::to_string(c.x));
        PluginFolder folder(LUMACORE_DLL_PATH);
        folder.writeSettings(settingsText(c.display.section, ownPlacement(c.display, c.x, c.y)));
        const Report report = runDisplay(folder.dll(), c.display.module);
        const WindowSnapshot* w = createdWindow(report);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->rect.left, c.x);
        EXPECT_EQ(w->rect.top, c.y);
        if (c.display.module == 0) {
            EXPECT_EQ(w->rect.right - w->rect.left, 500);
            EXPECT_EQ(w->rect.bottom - w->rect.top, 320);
        }
    }
}

} // namespace
} // namespace lumacore::testing
