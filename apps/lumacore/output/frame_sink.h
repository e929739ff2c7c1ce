// Where rendered pictures go, chosen by the output name: a video with the input's sound
// (.mp4, .mkv, .webm), one PNG still (.png), a PNG sequence (a directory), raw RGBA frames on
// standard output ("-"), or nowhere ("null", for benchmarks). Files are written under a
// temporary name beside the target and renamed at finish(): a failed or interrupted render never
// leaves a half-written file, and never destroys an existing one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "audio/audio_source.h"
#include "host/file_error.h"

namespace lumacore::cli {

// An output's problem in one line; the temporary files behind the outputs throw the same type.
using OutputError = FileError;

struct SinkOptions {
    int width = 0; // of the pictures handed to write()
    int height = 0;
    int fpsNumerator = 60;
    int fpsDenominator = 1;
    // Opens the sound to mux into a video, positioned at the render's start; may be empty.
    std::function<std::unique_ptr<AudioSource>()> openSound;
    double durationSeconds = -1; // of the sound to mux; -1: until it ends
};

class FrameSink {
  public:
    virtual ~FrameSink() = default; // an unfinished sink removes its temporary files
    // One picture: width * height pixels, 8-bit R, G, B, A bytes per pixel, rows top to bottom.
    virtual void write(const std::uint8_t* rgba) = 0;
    // Completes the output (flushes, muxes, renames into place). Throws OutputError.
    virtual void finish() = 0;
};

// The sink for `output` ("-", "null", a directory, or a file by extension). Throws OutputError
// for an unknown type, an unwritable folder or a missing encoder, with a one-line message.
std::unique_ptr<FrameSink> openSink(const std::string& output, const SinkOptions& options);

} // namespace lumacore::cli
