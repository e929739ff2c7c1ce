// The installer under Wine, as a player's user runs it: silently into a chosen folder, the
// plug-in started from there through vishost, and a silent uninstall that leaves the folder as
// it was; without a folder, the player's own registry keys say where its plug-ins live.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "e2e_support.h"
#include "vishost/options.h"
#include "vishost/owned_handle.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumacore";

using vishost::OwnedHandle;

// Whether `pid` runs a program of the system's own folder (Wine starts its desktop and services
// lazily, as children of whichever process first needs them, and they never end).
bool isSystemProcess(DWORD pid) {
    const OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.get()) return false;
    char image[MAX_PATH] = "", windows[MAX_PATH] = "";
    DWORD size = sizeof image;
    if (!QueryFullProcessImageNameA(process.get(), 0, image, &size)) return false;
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    return length > 0 && _strnicmp(image, windows, length) == 0;
}

// Runs `commandLine` and waits until it and every process it started have ended (an uninstaller
// copies itself away and runs the copy); returns the first process's exit code, or -1.
long runToTheEnd(const std::string& commandLine) {
    GetDesktopWindow(); // the desktop's process starts now, outside the job, if it has not yet
    const OwnedHandle job(CreateJobObjectA(nullptr, nullptr));
    const OwnedHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (!job.get() || !port.get()) return -1;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job.get(), port.get()};
    if (!SetInformationJobObject(job.get(), JobObjectAssociateCompletionPortInformation,
                                 &association, sizeof association))
        return -1;

    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process))
        return -1;
    const OwnedHandle processHandle(process.hProcess), threadHandle(process.hThread);
    if (!AssignProcessToJobObject(job.get(), process.hProcess)) {
        TerminateProcess(process.hProcess, 1);
        return -1;
    }
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);

    // The job reports every process that joins and leaves it, in order: done when none of the
    // installer's own processes is left.
    std::set<DWORD> running{process.dwProcessId};
    for (;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED detail = nullptr;
        if (!GetQueuedCompletionStatus(port.get(), &message, &key, &detail, 120000)) return -1;
        const auto pid = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
        if (message == JOB_OBJECT_MSG_NEW_PROCESS && !isSystemProcess(pid)) running.insert(pid);
        if (message == JOB_OBJECT_MSG_EXIT_PROCESS ||
            message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS)
            running.erase(pid);
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO || running.empty())
            return static_cast<long>(code);
    }
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : std::string();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string registryText(HKEY root, const std::string& key, const char* value, REGSAM view = 0) {
    char text[1024] = "";
    DWORD size = sizeof text;
    if (RegGetValueA(root, key.c_str(), value, RRF_RT_REG_SZ | (view ? RRF_SUBKEY_WOW6432KEY : 0),
                     nullptr, text, &size) != ERROR_SUCCESS)
        return "";
    return text;
}

bool keyExists(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

// A value of the player's keys, in the 32-bit view a 32-bit player writes; removed at the end.
class PlayerKey {
  public:
    PlayerKey(HKEY root, std::string key, const char* value, const std::string& text)
        : root_(root), key_(std::move(key)) {
        HKEY created = nullptr;
        if (RegCreateKeyExA(root_, key_.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                            nullptr, &created, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(created, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
            RegCloseKey(created);
        }
    }
    PlayerKey(const PlayerKey&) = delete;
    PlayerKey& operator=(const PlayerKey&) = delete;
    ~PlayerKey() { RegDeleteKeyExA(root_, key_.c_str(), KEY_WOW64_32KEY, 0); }

  private:
    HKEY root_;
    std::string key_;
};

// A folder of its own under the temporary folder, removed with what is left in it.
class Folder {
  public:
    explicit Folder(const std::string& name, bool create = true) : path_(tempFile(name)) {
        if (create) CreateDirectoryA(path_.c_str(), nullptr);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { remove(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

  private:
    static void remove(const std::string& path) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    remove(path + "\\" + name);
                else
                    DeleteFileA((path + "\\" + name).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path.c_str());
    }
    std::string path_;
};

// The installer built beside this test, quoted for a command line. The build gives a host path;
// Wine's drive Z: is the host's root.
std::string setup() {
    std::string path = LUMACORE_SETUP_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return "\"" + path + "\"";
}

TEST(Installer, SilentInstallRunsFromTheFolderAndTheUninstallLeavesItAsItWas) {
    const Folder plugins("Plugins");
    // Another plug-in's settings, as the profile functions write them.
    const std::string others = "[Other Plugin]\r\nfoo=1\r\n[Another]\r\nbar=2\r\n";
    writeFile(plugins.file("plugin.ini"), others);

    ASSERT_EQ(runToTheEnd(setup() + " /S /D=" + plugins.path()), 0);
    EXPECT_TRUE(exists(plugins.file("vis_lumacore.dll")));
    EXPECT_TRUE(exists(plugins.file("vis_lumacore-uninstall.exe")));
    EXPECT_EQ(registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), plugins.path());
    EXPECT_EQ(registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
              "\"" + plugins.file("vis_lumacore-uninstall.exe") + "\"");
    EXPECT_EQ(fileText(plugins.file("plugin.ini")), others);

    // The player loads it from there and runs the first display for a few frames.
    const vishost::Report report = vishost::runSession(vishost::parseCommandLine(
        {plugins.file("vis_lumacore.dll"), "--module", "0", "--count", "5", "--no-delay"}));
    EXPECT_EQ(report.initResult, 0);
    EXPECT_EQ(report.framesRendered, 5);
    EXPECT_TRUE(report.quitCalled);
    const std::string settings = fileText(plugins.file("plugin.ini"));
    EXPECT_NE(settings.find("[Lumacor 3D]"), std::string::npos) << settings;
    EXPECT_NE(settings.find("[Other Plugin]"), std::string::npos) << settings;

    ASSERT_EQ(runToTheEnd("\"" + plugins.file("vis_lumacore-uninstall.exe") + "\" /S"), 0);
    EXPECT_FALSE(exists(plugins.file("vis_lumacore.dll")));
    EXPECT_FALSE(exists(plugins.file("vis_lumacore-uninstall.exe")));
    EXPECT_EQ(fileText(plugins.file("plugin.ini")), others);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(exists(plugins.path()));
}

TEST(Installer, AFolderItCreatedGoesAgainAndOneThatWasThereStays) {
    const struct {
        const char* name;
        bool existed;
        int installs; // a second install into the same folder must not forget who made it
        bool leftAfterUninstall;
    } cases[] = {{"folder created", false, 1, false},
                 {"folder was there", true, 1, true},
                 {"folder created, installed twice", false, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Folder plugins("Fresh Plugins", c.existed);
        for (int i = 0; i < c.installs; ++i)
            ASSERT_EQ(runToTheEnd(setup() + " /S /D=" + plugins.path()), 0);
        ASSERT_TRUE(exists(plugins.file("vis_lumacore.dll")));
        // A run of the display leaves its settings; the uninstall takes them away again.
        vishost::runSession(vishost::parseCommandLine(
            {plugins.file("vis_lumacore.dll"), "--module", "2", "--count", "2", "--no-delay"}));
        ASSERT_EQ(runToTheEnd("\"" + plugins.file("vis_lumacore-uninstall.exe") + "\" /S"), 0);
        EXPECT_EQ(exists(plugins.path()), c.leftAfterUninstall);
        EXPECT_FALSE(exists(plugins.file("plugin.ini")));
    }
}

TEST(Installer, WithoutAFolderThePlayersRegistryKeysSayWhereItsPlugInsLive) {
    const Folder player("Player");
    const Folder other("Other Player");
    CreateDirectoryA(player.file("Plugins").c_str(), nullptr);
    CreateDirectoryA(other.file("Plugins").c_str(), nullptr);
    const struct {
        const char* name;
        HKEY root;
        const char* key;
        const char* value;
        std::string text;
        std::string expected;
    } cases[] = {
        {"the player's install path", HKEY_CURRENT_USER, "Software\\Winamp", nullptr, player.path(),
         player.file("Plugins")},
        {"the folder of the player's uninstaller", HKEY_LOCAL_MACHINE,
         "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp", "UninstallString",
         "\"" + other.file("UninstWA.exe") + "\"", other.file("Plugins")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PlayerKey key(c.root, c.key, c.value, c.text);
        ASSERT_EQ(runToTheEnd(setup() + " /S"), 0);
        EXPECT_TRUE(exists(c.expected + "\\vis_lumacore.dll"));
        EXPECT_EQ(registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), c.expected);
        ASSERT_EQ(runToTheEnd("\"" + c.expected + "\\vis_lumacore-uninstall.exe\" /S"), 0);
        EXPECT_FALSE(exists(c.expected + "\\vis_lumacore.dll"));
    }
}

} // namespace
} // namespace lumacore::testing
