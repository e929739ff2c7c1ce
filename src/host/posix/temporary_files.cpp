// Unique temporary files and folders beside a target file, and a table of their paths kept in
// static storage so that a signal handler can remove them without allocating or taking locks.
#include "host/posix/temporary_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace lumacore {
namespace {

// One registered path. `state` is the only field the handler trusts: a slot is filled while it
// is kWriting and becomes visible to the handler when it turns kActive.
enum SlotState : int { kFree = 0, kWriting = 1, kActive = 2 };
constexpr std::size_t kSlots = 32;
constexpr std::size_t kPathBytes = 4096;

struct Slot {
    std::atomic<int> state{kFree};
    bool folder = false;
    char path[kPathBytes] = {};
};

Slot slots[kSlots];
std::atomic<bool> handlerInstalled{false};
std::atomic<int> stopRequested{0}; // the signal that asked to stop
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads slot states");

// Unlinks every entry of a folder with system calls only (no opendir: it allocates). Entries
// removed while reading can shift the rest, so the pass repeats until the folder reads empty.
void emptyFolderFromHandler(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) static char buffer[8192];
    for (int pass = 0; pass < 64; ++pass) {
        bool removed = false;
        ::lseek(fd, 0, SEEK_SET);
        for (;;) {
            const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                if (::unlinkat(fd, name, 0) == 0) removed = true;
            }
        }
        if (!removed) break;
    }
    ::close(fd);
}

extern "C" void removeTemporariesAndDie(int signal) {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) != kActive) continue;
        if (slot.folder) {
            emptyFolderFromHandler(slot.path);
            ::rmdir(slot.path);
        } else {
            ::unlink(slot.path);
        }
    }
    // Die of the same signal, so the parent sees what really happened.
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    ::raise(signal); // delivered as soon as the handler returns and the signal is unblocked
}

// The first signal asks the program to stop; a second does what the cleanup handler does.
extern "C" void requestStop(int signal) {
    int none = 0;
    if (!stopRequested.compare_exchange_strong(none, signal)) removeTemporariesAndDie(signal);
}

// `handler` for every cleanup signal the process does not ignore.
void handleSignals(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    for (int signal : kSignals) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue; // e.g. SIGHUP under nohup
        ::sigaction(signal, &action, nullptr);
    }
}

std::string displayFolder(const std::string& folder) {
    return folder.empty() ? "." : folder;
}

// ".NAME.XXXXXX.part" with six random letters or digits; NAME is shortened so that the whole
// stays within the 255 bytes a file name may have.
std::string temporaryName(const std::string& name) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string result = "." + name.substr(0, 200) + ".";
    for (int i = 0; i < 6; ++i)
        result += kLetters[random() % (sizeof kLetters - 1)];
    return result + ".part";
}

// Splits "dir/name" into ("dir", "name"); ("", "name") for a bare name.
std::pair<std::string, std::string> splitPath(const std::string& path) {
    const std::filesystem::path p(path);
    return {p.parent_path().string(), p.filename().string()};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

// Tries fresh names until `create` succeeds or fails for a reason other than the name being
// taken. Returns the path; throws FileError describing the folder's problem.
template <class Create>
std::string createUnique(const std::string& folder, const std::string& name,
                         const std::string& what, Create create) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = joinPath(folder, temporaryName(name));
        if (create(path)) return path;
        if (errno != EEXIST) {
            const std::string reason = folderProblem(folder, errno);
            throw FileError("cannot write '" + what + "': " + reason, reason);
        }
    }
    const std::string reason = "no free temporary name in " + displayFolder(folder);
    throw FileError("cannot write '" + what + "': " + reason, reason);
}

// Holds back the cleanup signals in this thread while a temporary path is created and
// registered: a signal in between would otherwise find the file on disk but not in the table, and
// leave it behind. A held signal arrives as soon as the path is registered.
class CleanupSignalsHeld {
  public:
    CleanupSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kSignals)
            sigaddset(&held, signal);
        ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~CleanupSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

} // namespace

void installInterruptCleanup() {
    if (handlerInstalled.exchange(true)) return;
    handleSignals(removeTemporariesAndDie);
}

void installInterruptRequests() {
    static_assert(std::atomic<int>::is_always_lock_free, "the signal handler swaps it");
    handlerInstalled = true;
    handleSignals(requestStop);
}

int interruptRequested() {
    return stopRequested.load();
}

void dieOf(int signal) {
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal); // a signal whose default is not to end the process
}

int registerTemporaryPath(const std::string& path, bool folder) {
    if (path.size() >= kPathBytes)
        throw FileError("path too long for a temporary file: '" + path + "'");
    for (std::size_t i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!slots[i].state.compare_exchange_strong(expected, kWriting)) continue;
        slots[i].folder = folder;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kActive, std::memory_order_release);
        return static_cast<int>(i);
    }
    throw FileError("too many temporary files open at once");
}

void unregisterTemporaryPath(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < kSlots)
        slots[slot].state.store(kFree, std::memory_order_release);
}

std::string folderProblem(const std::string& folder, int error) {
    const std::string shown = "'" + displayFolder(folder) + "'";
    switch (error) {
    case ENOENT:
        return "folder " + shown + " does not exist";
    case ENOTDIR:
        return shown + " is not a folder";
    case EACCES:
    case EPERM:
    case EROFS:
        return "cannot write to folder " + shown + ": " + std::strerror(error);
    default:
        return "cannot create a file in folder " + shown + ": " + std::strerror(error);
    }
}

std::string linkedFile(const std::string& path) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit; beyond, open says ELOOP
        struct stat info = {};
        if (::lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(at.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return at;
        link.resize(static_cast<std::size_t>(length));
        const std::filesystem::path next(link);
        at = next.is_absolute() ? link : (std::filesystem::path(at).parent_path() / next).string();
    }
    return at;
}

TemporaryFile::TemporaryFile(const std::string& target)
    : target_(target), destination_(linkedFile(target)) {
    const auto [folder, name] = splitPath(destination_);
    if (name.empty() || name == "." || name == "..")
        throw FileError("'" + target + "' names a folder, not a file",
                        "names a folder, not a file");
    const CleanupSignalsHeld held;
    path_ = createUnique(folder, name, target, [this](const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd_ >= 0;
    });
    try {
        slot_ = registerTemporaryPath(path_, false);
    } catch (...) {
        ::close(fd_);
        ::unlink(path_.c_str());
        throw;
    }
    struct stat existing = {};
    if (::stat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd_, existing.st_mode & 0777); // a replaced file keeps its permissions
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
    unregisterTemporaryPath(slot_);
}

void TemporaryFile::commit() {
    if (committed_) return;
    const auto fail = [this](const std::string& doing) {
        const std::string reason = std::strerror(errno);
        throw FileError("cannot " + doing + " '" + target_ + "': " + reason, reason);
    };
    if (::fsync(fd_) != 0) fail("write");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("write");
    if (::rename(path_.c_str(), destination_.c_str()) != 0) fail("replace");
    committed_ = true;
    unregisterTemporaryPath(slot_);
    slot_ = -1;
}

TemporaryFolder::TemporaryFolder(const std::string& parent, const std::string& name) {
    const CleanupSignalsHeld held;
    path_ = createUnique(parent, name, joinPath(parent, name),
                         [](const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; });
    try {
        slot_ = registerTemporaryPath(path_, true);
    } catch (...) {
        ::rmdir(path_.c_str());
        throw;
    }
}

TemporaryFolder::~TemporaryFolder() {
    if (!released_) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    unregisterTemporaryPath(slot_);
}

void TemporaryFolder::release() {
    released_ = true;
    unregisterTemporaryPath(slot_);
    slot_ = -1;
}

} // namespace lumacore
