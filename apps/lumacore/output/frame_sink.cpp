// Classifies an output name and opens its sink, and the two sinks that write no file: raw frames
// on standard output and the counting null sink.
#include "output/frame_sink.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "output/pixels.h"
#include "output/sinks.h"
#include "audio/limits.h"

namespace lumacore::cli {
namespace {

class RawSink : public FrameSink {
  public:
    RawSink(int fd, const SinkOptions& options) : fd_(fd), scale_(options.scale) {}

    void write(const Bitmap& picture) override {
        toRgba(picture, scale_, rgba_);
        if (writeAll(fd_, rgba_.data(), rgba_.size())) return;
        if (errno == EPIPE) throw OutputError("cannot write raw frames: the reader went away");
        throw OutputError(std::string("cannot write raw frames: ") + std::strerror(errno));
    }
    void finish() override {}

  private:
    int fd_;
    int scale_;
    std::vector<std::uint8_t> rgba_;
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
    if (options.scale < 1 || options.width % options.scale != 0 ||
        options.height % options.scale != 0)
        throw OutputError("picture size " + std::to_string(options.width) + "x" +
                          std::to_string(options.height) + " is not enlarged " +
                          std::to_string(options.scale) + " times");
    if (options.width < 1 || options.height < 1 || options.width > kMaxPictureSide ||
        options.height > kMaxPictureSide)
        throw OutputError("picture size " + std::to_string(options.width) + "x" +
                          std::to_string(options.height) + " is out of range (1 to " +
                          std::to_string(kMaxPictureSide) + " pixels each way)");
}

std::unique_ptr<FrameSink> openRawSink(int fd, const SinkOptions& options) {
    checkPictureSize(options);
    if (::isatty(fd))
        throw OutputError("refusing to write raw frames to a terminal: redirect standard output");
    return std::make_unique<RawSink>(fd, options);
}

OutputTarget classifyOutput(const std::string& output) {
    OutputTarget target;
    target.path = output;
    std::error_code ignored;
    if (output == "-") {
        target.kind = OutputKind::Raw;
    } else if (output == "null") {
        target.kind = OutputKind::Null;
    } else if ((!output.empty() && output.back() == '/') ||
               std::filesystem::is_directory(output, ignored)) {
        target.kind = OutputKind::Sequence;
    } else {
        const std::string extension = lowerExtension(output);
        target.kind = OutputKind::Video;
        if (extension == ".png")
            target.kind = OutputKind::Still;
        else if (extension == ".mp4")
            target.container = VideoContainer::Mp4;
        else if (extension == ".mkv")
            target.container = VideoContainer::Matroska;
        else if (extension == ".webm")
            target.container = VideoContainer::WebM;
        else if (extension == ".mov")
            target.container = VideoContainer::Mov;
        else
            throw OutputError("unknown output type '" + (extension.empty() ? output : extension) +
                              "': use .mp4, .mkv, .webm, .mov, .png, a directory, - or null");
    }
    return target;
}

bool carriesAlpha(const OutputTarget& target) {
    switch (target.kind) {
    case OutputKind::Sequence:
    case OutputKind::Still:
    case OutputKind::Null: // nothing written, nothing lost: for measuring
        return true;
    case OutputKind::Video:
        return target.container == VideoContainer::WebM || target.container == VideoContainer::Mov;
    case OutputKind::Raw:
        break;
    }
    return false;
}

std::unique_ptr<FrameSink> openSink(const OutputTarget& target, const SinkOptions& options) {
    if (options.transparent && !carriesAlpha(target))
        throw OutputError("'" + target.path +
                          "' cannot carry transparency: use .png, a PNG sequence's folder, .webm "
                          "or .mov with --transparent");
    switch (target.kind) {
    case OutputKind::Raw:
        return openRawSink(STDOUT_FILENO, options);
    case OutputKind::Null:
        checkPictureSize(options);
        return std::make_unique<NullSink>();
    case OutputKind::Sequence:
        return openPngSequence(target.path, options);
    case OutputKind::Still:
        return openPngStill(target.path, options);
    case OutputKind::Video:
        break;
    }
    return openVideo(target.path, target.container, options);
}

std::unique_ptr<FrameSink> openSink(const std::string& output, const SinkOptions& options) {
    return openSink(classifyOutput(output), options);
}

} // namespace lumacore::cli
