// Chooses the sink for an output name, and the two sinks that write no file: raw frames on
// standard output and the counting null sink.
#include "output/frame_sink.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "output/sinks.h"

namespace lumacore::cli {
namespace {

constexpr int kMaxSide = 16384;

class RawSink : public FrameSink {
  public:
    RawSink(int fd, const SinkOptions& options)
        : fd_(fd), bytes_(static_cast<std::size_t>(options.width) * options.height * 4) {}

    void write(const std::uint8_t* rgba) override {
        if (writeAll(fd_, rgba, bytes_)) return;
        if (errno == EPIPE) throw OutputError("cannot write raw frames: the reader went away");
        throw OutputError(std::string("cannot write raw frames: ") + std::strerror(errno));
    }
    void finish() override {}

  private:
    int fd_;
    std::size_t bytes_;
};

// ".mp4" for "Clip.MP4"; "" when the file name has no extension (".hidden" has none).
std::string lowerExtension(const std::string& output) {
    const std::string name = std::filesystem::path(output).filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void checkPictureSize(const SinkOptions& options) {
    if (options.width < 1 || options.height < 1 || options.width > kMaxSide ||
        options.height > kMaxSide)
        throw OutputError("picture size " + std::to_string(options.width) + "x" +
                          std::to_string(options.height) + " is out of range (1 to " +
                          std::to_string(kMaxSide) + " pixels each way)");
}

std::unique_ptr<FrameSink> openRawSink(int fd, const SinkOptions& options) {
    checkPictureSize(options);
    if (::isatty(fd))
        throw OutputError("refusing to write raw frames to a terminal: redirect standard output");
    return std::make_unique<RawSink>(fd, options);
}

std::unique_ptr<FrameSink> openSink(const std::string& output, const SinkOptions& options) {
    if (output == "-") return openRawSink(STDOUT_FILENO, options);
    if (output == "null") {
        checkPictureSize(options);
        return std::make_unique<NullSink>();
    }
    std::error_code ignored;
    if ((!output.empty() && output.back() == '/') || std::filesystem::is_directory(output, ignored))
        return openPngSequence(output, options);

    const std::string extension = lowerExtension(output);
    if (extension == ".png") return openPngStill(output, options);
    if (extension == ".mp4") return openVideo(output, VideoContainer::Mp4, options);
    if (extension == ".mkv") return openVideo(output, VideoContainer::Matroska, options);
    if (extension == ".webm") return openVideo(output, VideoContainer::WebM, options);
    throw OutputError("unknown output type '" + (extension.empty() ? output : extension) +
                      "': use .mp4, .mkv, .webm, .png, a directory, - or null");
}

} // namespace lumacore::cli
