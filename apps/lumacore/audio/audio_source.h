// Where the renderer's sound comes from: a decoded audio file or the built-in demo tune, as a
// stream of stereo float samples at one fixed sample rate, read a block at a time so that a song
// of any length takes the same memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "frames/frames_file.h"

namespace lumacore::cli {

// The sample rates a source may deliver or decode from, the ones a frames file can record:
// beyond them there is no real audio, only a damaged header or a mistyped option.
inline constexpr int kMinSampleRate = static_cast<int>(lumacore::kMinSampleRate);
inline constexpr int kMaxSampleRate = static_cast<int>(lumacore::kMaxSampleRate);
constexpr bool sampleRateInRange(int rate) {
    return rate >= kMinSampleRate && rate <= kMaxSampleRate;
}

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
    virtual void seek(std::int64_t frame) = 0;
};

// Throws an AudioError naming `what` when `rate` is outside the sample rates above. Every
// source checks the rate it is asked for once, here, so that its readers need not.
void checkSampleRate(int rate, const std::string& what);

// Where the decoder's notes about an input that still plays go (a damaged stretch skipped and
// played as silence): one line each, without the program's name, at most one per file. Standard
// error ("lumacore: LINE") unless replaced, for instance by a batch of renders that keeps its
// progress line whole. The handler may be called from any thread, one line at a time; an empty
// one restores standard error.
void setNoteHandler(std::function<void(const std::string&)> handler);

// Opens an audio file of any common kind; throws AudioError.
std::unique_ptr<AudioSource> openAudio(const std::string& path, int sampleRate = 44100);

// What the file's headers say (its length, its tags) without decoding any of its sound; throws
// AudioError for a file that openAudio refuses at its headers.
AudioInfo probeAudio(const std::string& path);

// The built-in demo tune: about 30 s, deterministic (bass, chords, percussion, a sweep).
std::unique_ptr<AudioSource> demoTune(int sampleRate = 44100);

} // namespace lumacore::cli
