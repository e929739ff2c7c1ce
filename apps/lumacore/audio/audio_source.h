// Where the renderer's sound comes from: a decoded audio file or the built-in demo tune, as a
// stream of stereo float samples at one fixed sample rate, read a block at a time so that a song
// of any length takes the same memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumacore::cli {

// A problem with the input: missing, unreadable, truncated or not audio. The message is one line
// that names the file.
class AudioError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct AudioInfo {
    std::string path;            // the input file, or "" for the demo tune
    int sampleRate = 44100;      // of the samples read() returns
    int sourceChannels = 2;      // of the original (1 for mono; read() always gives stereo)
    double durationSeconds = -1; // -1 when the container does not say
    std::string artist;          // from the file's tags, may be empty
    std::string title;           // from the file's tags, may be empty
};

class AudioSource {
  public:
    virtual ~AudioSource() = default;
    virtual const AudioInfo& info() const = 0;
    // Reads up to `frames` stereo frames (interleaved left, right; floats in -1..1) into `out`.
    // Returns how many were read; 0 only at the end. Mono input comes out on both channels.
    // Throws AudioError when the data turns out to be broken.
    virtual std::size_t read(float* out, std::size_t frames) = 0;
    // Moves to stereo frame `frame` (0: the start), so that the next read() gives the samples
    // from there on exactly as reading from the start and discarding would. Throws AudioError.
    virtual void seek(std::int64_t frame) {
        // PROVISIONAL until the decoders implement seek (then this becomes pure): reads and
        // discards `frame` frames, which is right only on a source not read from yet, the one
        // way the renderer seeks for now.
        if (frame < 0) throw AudioError("cannot seek to a negative position");
        std::vector<float> scratch(2 * 8192);
        for (std::int64_t left = frame; left > 0;) {
            const std::size_t got =
                read(scratch.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 8192)));
            if (got == 0) return; // beyond the end: reads give nothing
            left -= static_cast<std::int64_t>(got);
        }
    }
};

// Opens an audio file of any common kind; throws AudioError.
std::unique_ptr<AudioSource> openAudio(const std::string& path, int sampleRate = 44100);

// The built-in demo tune: about 30 s, deterministic (bass, chords, percussion, a sweep).
std::unique_ptr<AudioSource> demoTune(int sampleRate = 44100);

} // namespace lumacore::cli
