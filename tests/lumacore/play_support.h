// What the tests of `lumacore play` look at: the program run to its end with a changed
// environment, the pictures it dumps, the tones it plays, its settings file and timing log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "program_support.h"

namespace lumacore::cli::test {

// Runs `lumacore ARGS` in `folder` with the environment changed, stopped after `seconds`; its
// standard output and error are kept.
ProgramRun runPlay(const std::vector<std::string>& args, const std::filesystem::path& folder,
                   const EnvironmentChanges& changes = {}, double seconds = 60);

// The lines of `text`, without their ends.
std::vector<std::string> lines(const std::string& text);

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // rows top down, 3 bytes a pixel
    const std::uint8_t* at(int x, int y) const { return &rgb[3 * (std::size_t(y) * width + x)]; }
    bool operator==(const Picture&) const = default;
};

// A PNG file decoded to 8-bit RGB; nullopt when it cannot be read.
std::optional<Picture> readPng(const std::filesystem::path& path);

// The last file of a PNG sequence in `folder` (by name), or an empty path.
std::filesystem::path lastInSequence(const std::filesystem::path& folder);

// 16-bit WAV of interleaved stereo samples from -1 to 1.
void writeStereoWav(const std::filesystem::path& path, const std::vector<float>& samples,
                    int sampleRate = 44100);

// 16-bit stereo WAV of a sine of `frequency` and `amplitude` on both channels, `seconds` long.
void writeSineWav(const std::filesystem::path& path, double frequency, double amplitude,
                  double seconds, int sampleRate = 44100);

// A stretch of one channel in which one of the `frequencies` (its index in `tone`) dominates.
struct ToneRun {
    int tone = -1;
    double start = 0;   // seconds into the recording
    double seconds = 0; // length
};

// The runs of dominant tones in `channel` of interleaved stereo `samples`, in order. A run ends
// where another tone takes over or where no tone dominates for more than a few milliseconds.
std::vector<ToneRun> toneRuns(const std::vector<float>& samples, int channel, int sampleRate,
                              const std::vector<double>& frequencies);

// The value of `key` in `[section]` of an INI file.
std::optional<std::string> iniValue(const std::filesystem::path& path, const std::string& section,
                                    const std::string& key);

// One line of LUMACORE_TIMING_LOG: a presented frame.
struct PresentedFrame {
    long long presentedNs = 0; // CLOCK_MONOTONIC after the present
    double heard = 0;          // seconds of the entry heard
    double newestCall = 0;     // time of the newest Render call, seconds
};
std::vector<PresentedFrame> readTimingLog(const std::filesystem::path& path);

} // namespace lumacore::cli::test
