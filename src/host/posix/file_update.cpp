// updateFile on POSIX: an exclusive flock on the file itself, held while it is read and while
// its replacement is written beside it and renamed over it.
#include "host/file_update.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/file_error.h"
#include "host/posix/temporary_files.h"

namespace lumacore {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
    throw FileError("cannot write '" + path + "': " + reason, reason);
}

std::string folderOf(const std::string& path) {
    return std::filesystem::path(path).parent_path().string();
}

// Why the file at `path` could not be opened or created, given the errno of the attempt.
std::string openProblem(const std::string& path, int error) {
    if (error == ENOENT || error == ENOTDIR) return folderProblem(folderOf(path), error);
    if (error == EISDIR) return "it is a folder";
    struct stat info = {};
    if (error == EACCES && ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0)
        return "the file is read-only";
    return std::strerror(error);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file opened for reading and writing and exclusively locked; a missing file is created
// empty first. A writer that waited for the lock may find that the name now belongs to the file
// the writer before it renamed over the old one: it then opens and locks that one instead. An
// empty file created here and never replaced is removed again at the end.
class LockedFile {
  public:
    explicit LockedFile(const std::string& path) : path_(path) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            if (open() && lockedWhileNamed()) return;
            closeFile();
        }
        fail(path_, "it keeps being replaced by another program");
    }
    ~LockedFile() {
        struct stat named = {};
        if (created_ && !replaced_ && ::stat(path_.c_str(), &named) == 0 &&
            sameFile(named, opened_))
            ::unlink(path_.c_str());
        closeFile();
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    int descriptor() const { return fd_; }
    bool created() const { return created_; }
    const struct stat& info() const { return opened_; }
    void replaced() { replaced_ = true; }

  private:
    // False when the file appeared or vanished between two attempts; throws for any other
    // failure. The file is opened without blocking, so a FIFO in its place cannot hang us.
    bool open() {
        created_ = false;
        const int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
        fd_ = ::open(path_.c_str(), flags);
        if (fd_ < 0 && errno == ENOENT) {
            fd_ = ::open(path_.c_str(), flags | O_CREAT | O_EXCL, 0666);
            if (fd_ < 0 && errno == EEXIST) return false;
            created_ = fd_ >= 0;
        }
        if (fd_ < 0) fail(path_, openProblem(path_, errno));
        if (::fstat(fd_, &opened_) != 0) fail(path_, std::strerror(errno));
        if (S_ISDIR(opened_.st_mode)) fail(path_, "it is a folder");
        if (!S_ISREG(opened_.st_mode)) fail(path_, "it is not a regular file");
        return true;
    }
    bool lockedWhileNamed() {
        while (::flock(fd_, LOCK_EX) != 0)
            if (errno != EINTR) fail(path_, std::string("cannot lock it: ") + std::strerror(errno));
        struct stat named = {};
        return ::stat(path_.c_str(), &named) == 0 && sameFile(named, opened_);
    }
    void closeFile() {
        if (fd_ >= 0) ::close(fd_); // releases the lock
        fd_ = -1;
    }

    std::string path_;
    int fd_ = -1;
    struct stat opened_ = {};
    bool created_ = false;
    bool replaced_ = false;
};

std::string readAll(const std::string& path, int fd) {
    std::string bytes;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got == 0) return bytes;
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(path, std::string("cannot read it: ") + std::strerror(errno));
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
}

void writeAll(const std::string& path, int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (put < 0) {
            if (errno == EINTR) continue;
            fail(path, std::strerror(errno));
        }
        at += static_cast<std::size_t>(put);
    }
}

} // namespace

std::string updateFile(const std::string& path, const FileChange& change) {
    try {
        LockedFile file(path);
        std::optional<std::string> bytes;
        if (!file.created()) {
            if ((file.info().st_mode & S_IWUSR) == 0) fail(path, "the file is read-only");
            bytes = readAll(path, file.descriptor());
        }
        const std::optional<std::string> next = change(bytes);
        if (!next) return {};
        TemporaryFile temporary(path);
        writeAll(path, temporary.descriptor(), *next);
        temporary.commit();
        file.replaced();
        return {};
    } catch (const FileError& error) {
        return error.what();
    } catch (const std::exception& error) {
        return "cannot write '" + path + "': " + error.what();
    }
}

} // namespace lumacore
