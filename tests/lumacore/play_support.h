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

// 16-bit WAV of interleaved samples from -1 to 1, stereo unless `channels` says otherwise.
void writeStereoWav(const std::filesystem::path& path, const std::vector<float>& samples,
                    int sampleRate = 44100, int channels = 2);

// 16-bit WAV of a sine of `frequency` and `amplitude` on every channel, `seconds` long.
void writeSineWav(const std::filesystem::path& path, double frequency, double amplitude,
                  double seconds, int sampleRate = 44100, int channels = 2);

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

// What a 2D history shows in its newest columns, for the tests that look at its pictures.
inline constexpr int kNewestColumns = 8; // the 2D history's last eight calls
inline constexpr int kLit = 100;         // a band of the tone is at least this bright
inline constexpr int kDark = 20;         // a band without sound is at most this bright

// The rows of a 2D history of `width` x `height` that show bin `bin` itself: from the top of its
// band to the top of the next one, which is drawn over the rest of it.
struct BinRows {
    int first = 0, end = 0;
};
BinRows binRows(int bin, int width, int height);
// The brightest channel of a pixel: every colour of the palette has one channel at full scale,
// so this grows with the band's intensity whatever its hue.
int brightness(const Picture& picture, int x, int y);
// The brightest of the newest columns in rows [first, end).
int brightestIn(const Picture& picture, int first, int end);
// The same for what lasts: for each row the median of its newest columns, the brightest of them.
// A tone lights every column; a click lights one or two and is not a tone.
int lastingIn(const Picture& picture, int first, int end);
// The row of the history (above the banner's strip) whose newest columns are brightest.
int brightestRow(const Picture& picture);
// Empty when the picture shows each tone of `lit` in its rows and no tone in the rows of `dark`
// (and, with one tone lit, that tone as its brightest row); otherwise what it shows instead.
std::string showsTones(const Picture& picture, const std::vector<int>& lit,
                       const std::vector<int>& dark);

} // namespace lumacore::cli::test
