// The reader's thread sleeps in poll() on the pipe (or, for a file, on inotify's word that it
// grew) and on an eventfd that ends it; nothing is read by waiting on a timer.
#include "listen/fifo_capture.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

#include "listen/app_match.h"

namespace lumacore::cli {
namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

// A file descriptor, closed when it goes.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset(other.fd_);
        other.fd_ = -1;
        return *this;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

std::string inQuotes(const std::string& path) {
    return "'" + shownEscaped(path) + "'";
}

} // namespace

struct FifoCapture::Reader {
    std::string path;
    bool pipe = false; // a named pipe; else a regular file, read as it grows
    StereoResampler converter;
    Descriptor file;
    Descriptor watch;                   // a file's inotify
    Descriptor stop;                    // an eventfd: the thread ends when it is written
    std::vector<unsigned char> carried; // the start of a frame the last read cut
    std::vector<float> converted;
    std::mutex mutex; // guards what the program's thread takes:
    FrameQueue pending;
    std::string notice;
    SoundArrival arrival;
    std::thread thread;

    Reader(const std::string& at, const FifoFormat& format)
        : path(at),
          converter(format.rate, SoundCapture::kSampleRate, format.channels, format.sample) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0)
            throw CaptureError("--fifo: cannot read " + inQuotes(path) + ": " +
                               std::strerror(errno));
        pipe = S_ISFIFO(status.st_mode);
        if (!pipe && !S_ISREG(status.st_mode))
            throw CaptureError("--fifo: " + inQuotes(path) +
                               " is neither a named pipe (FIFO) nor a regular file");
        if (!open())
            throw CaptureError("--fifo: cannot read " + inQuotes(path) + ": " +
                               std::strerror(errno));
        if (!pipe) {
            watch = Descriptor(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
            if (!watch || ::inotify_add_watch(watch.get(), path.c_str(), IN_MODIFY) < 0)
                throw CaptureError("--fifo: cannot watch " + inQuotes(path) +
                                   " grow: " + std::strerror(errno));
            ::lseek(file.get(), 0, SEEK_END); // what was written before is not live
        }
        stop = Descriptor(::eventfd(0, EFD_CLOEXEC));
        if (!stop) throw CaptureError(std::string("--fifo: cannot start: ") + std::strerror(errno));
        thread = std::thread([this] { run(); });
    }

    ~Reader() {
        const std::uint64_t one = 1;
        if (::write(stop.get(), &one, sizeof one) < 0) {
            // the eventfd cannot be full: nothing to do
        }
        thread.join();
    }

    // A pipe without blocking for a writer: poll() waits for one.
    bool open() {
        file = Descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (pipe ? O_NONBLOCK : 0)));
        carried.clear();
        return static_cast<bool>(file);
    }

    void run() {
        std::vector<unsigned char> bytes(kReadBytes);
        for (;;) {
            pollfd waits[2] = {{stop.get(), POLLIN, 0},
                               {pipe ? file.get() : watch.get(), POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0 && errno != EINTR) return say("poll", errno);
            if (waits[0].revents != 0) return;
            if (waits[1].revents == 0) continue;
            if (!pipe) drainWatch();
            if (!readAll(bytes)) return;
        }
    }

    // Everything readable now. False when the thread should end.
    bool readAll(std::vector<unsigned char>& bytes) {
        if (!pipe) rewindIfRewritten();
        for (;;) {
            const ssize_t got = ::read(file.get(), bytes.data(), bytes.size());
            if (got > 0) {
                heard(bytes.data(), static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && errno == EAGAIN) return true;
            if (got < 0) {
                say("read", errno);
                return false;
            }
            // The end: a pipe's writer has closed it (and another may open it); a file has
            // nothing more yet.
            if (pipe && !open()) {
                say("open", errno);
                return false;
            }
            return true;
        }
    }

    void drainWatch() {
        alignas(inotify_event) char events[4096];
        while (::read(watch.get(), events, sizeof events) > 0) {
        }
    }

    // A file cut shorter than was read is being written anew: read it from its start.
    void rewindIfRewritten() {
        struct stat status {};
        if (::fstat(file.get(), &status) == 0 &&
            status.st_size < ::lseek(file.get(), 0, SEEK_CUR)) {
            ::lseek(file.get(), 0, SEEK_SET);
            carried.clear();
        }
    }

    // Whole frames, converted, join the queue; a cut frame waits for its end.
    void heard(const unsigned char* data, std::size_t size) {
        carried.insert(carried.end(), data, data + size);
        const std::size_t frameBytes = converter.frameBytes();
        const std::size_t frames = carried.size() / frameBytes;
        converted.clear();
        converter.convert(carried.data(), frames, converted);
        carried.erase(carried.begin(),
                      carried.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
        {
            const std::lock_guard lock(mutex);
            pending.samples.insert(pending.samples.end(), converted.begin(), converted.end());
            pending.bound(kMaxQueued);
        }
        arrival.heard(converted.data(), converted.size());
    }

    void say(const char* what, int error) {
        const std::lock_guard lock(mutex);
        notice = "--fifo: " + std::string(what) + " of " + inQuotes(path) +
                 " failed: " + std::strerror(error) + "; nothing more is read";
    }
};

FifoCapture::FifoCapture(const std::string& path, const FifoFormat& format) {
    try {
        reader_ = std::make_unique<Reader>(path, format);
    } catch (const std::runtime_error& error) {
        if (dynamic_cast<const CaptureError*>(&error) != nullptr) throw;
        throw CaptureError(std::string("--fifo-format: ") + error.what());
    }
}

FifoCapture::~FifoCapture() = default;

SoundSources FifoCapture::sources() {
    throw CaptureError("--fifo reads one FIFO: there are no sources to list");
}

std::vector<PlayingStream> FifoCapture::streams() {
    throw CaptureError("--fifo reads one FIFO: there are no applications to list");
}

std::string FifoCapture::takeNotice() {
    const std::lock_guard lock(reader_->mutex);
    return std::exchange(reader_->notice, {});
}

CapturedFrames FifoCapture::take(std::vector<float>& frames) {
    reader_->arrival.clear();
    const std::lock_guard lock(reader_->mutex);
    CapturedFrames taken;
    reader_->pending.takeInto(frames, taken);
    return taken;
}

void FifoCapture::waitForSound(double seconds) {
    reader_->arrival.wait(seconds);
}

SoundArrival& FifoCapture::arrival() {
    return reader_->arrival;
}

std::string FifoCapture::description() const {
    return std::filesystem::path(reader_->path).filename().string();
}

} // namespace lumacore::cli
