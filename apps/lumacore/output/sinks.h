// The individual kinds of FrameSink behind openSink(), for the dispatcher and the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/frame_sink.h"

namespace lumacore::cli {

// Discards pictures, counting them.
class NullSink : public FrameSink {
  public:
    void write(const Bitmap&) override { ++frames_; }
    void finish() override {}
    std::int64_t frames() const { return frames_; }

  private:
    std::int64_t frames_ = 0;
};

// Raw R, G, B, A pictures, back to back, on the file descriptor (standard output for "-").
std::unique_ptr<FrameSink> openRawSink(int fd, const SinkOptions& options);
// One PNG still: the first picture written; later ones are dropped.
std::unique_ptr<FrameSink> openPngStill(const std::string& path, const SinkOptions& options);
// frame-000001.png, frame-000002.png, ... in `folder` (created when missing).
std::unique_ptr<FrameSink> openPngSequence(const std::string& folder, const SinkOptions& options);
// A video with the options' sound. Odd sizes are padded by one pixel (the last column or row
// repeated): yuv420p needs even ones. Lowers FFmpeg's log level to errors unless the program has
// chosen a level of its own, so that encoder statistics do not mix with the progress bar.
std::unique_ptr<FrameSink> openVideo(const std::string& path, VideoContainer container,
                                     const SinkOptions& options);

// A PNG file (8-bit RGB, or RGBA with the picture's alpha channel) of a picture enlarged `scale`
// times.
std::vector<std::uint8_t> encodePng(const Bitmap& picture, int scale, bool alpha = false);

// Writes all of `bytes` to `fd`, retrying after interruptions. Returns false with errno set.
bool writeAll(int fd, const void* bytes, std::size_t size);

// Checks the options every sink needs (a picture size); throws OutputError.
void checkPictureSize(const SinkOptions& options);

} // namespace lumacore::cli
