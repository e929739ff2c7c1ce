// Where rendered pictures go, chosen by the output name: a video with the input's sound
// (.mp4, .mkv, .webm, .mov), one PNG still (.png), a PNG sequence (a directory), raw RGBA frames on
// standard output ("-"), or nowhere ("null", for benchmarks). classifyOutput is the one place
// that decides which. Files are written under a temporary name beside the target and renamed at
// finish(): a failed or interrupted render never leaves a half-written file, and never destroys
// an existing one.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/file_error.h"
#include "host/raster/bitmap.h"
#include "audio/sample_buffer.h"

namespace lumacore::cli {

// An output's problem in one line; the temporary files behind the outputs throw the same type.
using OutputError = FileError;

enum class OutputKind { Raw, Null, Sequence, Still, Video };
enum class VideoContainer { Mp4, Matroska, WebM, Mov };
// The video encoder's trade-off between speed, size and fidelity.
enum class VideoQuality { Fast, Balanced, Best };

struct OutputTarget {
    OutputKind kind = OutputKind::Null;
    VideoContainer container = VideoContainer::Mp4; // for a video
    std::string path;                               // as given
};

// What `output` names: "-" raw frames, "null" nothing, a name ending in '/' or an existing
// folder (whatever its name) a PNG sequence, else by extension. Throws OutputError for an
// unknown type.
OutputTarget classifyOutput(const std::string& output);

struct SinkOptions {
    int width = 0; // of the pictures written: those handed to write() enlarged `scale` times
    int height = 0;
    int scale = 1;
    int fpsNumerator = 60;
    int fpsDenominator = 1;
    VideoQuality quality = VideoQuality::Balanced;
    // The pictures' alpha channel is written (PNG, WebM and MOV outputs carry one).
    bool transparent = false;
    // The sound to mux into a video: the shared sample buffer, read from frame `soundFrom` (the
    // render's start) on; null for none.
    std::shared_ptr<SampleBuffer> sound;
    std::int64_t soundFrom = 0;
    double durationSeconds = -1; // of the sound to mux; -1: until it ends
};

class FrameSink {
  public:
    virtual ~FrameSink() = default; // an unfinished sink removes its temporary files
    // One picture in the module's own layout (width / scale by height / scale), converted to
    // what the output needs. The sink keeps no reference to it.
    virtual void write(const Bitmap& picture) = 0;
    // Completes the output (flushes, muxes, renames into place). Throws OutputError.
    virtual void finish() = 0;
};

// Whether the output keeps the pictures' alpha channel (PNG stills and sequences, WebM, MOV).
bool carriesAlpha(const OutputTarget& target);

// The sink for a classified output. Throws OutputError for an unwritable folder or a missing
// encoder, with a one-line message.
std::unique_ptr<FrameSink> openSink(const OutputTarget& target, const SinkOptions& options);
// The same for an output name, classified first.
std::unique_ptr<FrameSink> openSink(const std::string& output, const SinkOptions& options);

} // namespace lumacore::cli
