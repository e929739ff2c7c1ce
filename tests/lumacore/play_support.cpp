// Helpers of the `lumacore play` tests. Tones are found by correlating Hann-windowed blocks of
// the recording with each expected frequency, which needs no FFT library and no bin alignment.
#include "play_support.h"

#include "history/history_render.h"
#include "history/history_state.h"
#include "png_reader.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <sstream>

namespace lumacore::cli::test {
namespace {

constexpr std::size_t kBlock = 1024; // 23 ms at 44.1 kHz
constexpr std::size_t kHop = kBlock / 2;
constexpr double kMinAmplitude = 0.05;
constexpr double kDominance = 3; // amplitude over the next strongest tone
constexpr std::size_t kMaxGapBlocks = 3;

// The amplitude of `frequency` in the block of `channel` starting at frame `first`.
double amplitudeAt(const std::vector<float>& samples, int channel, std::size_t first,
                   double frequency, int sampleRate) {
    double re = 0, im = 0, weights = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(k) / kBlock);
        const double phase = 2 * std::numbers::pi * frequency * double(first + k) / sampleRate;
        const double x = w * samples[2 * (first + k) + channel];
        re += x * std::cos(phase);
        im += x * std::sin(phase);
        weights += w;
    }
    return 2 * std::hypot(re, im) / weights;
}

} // namespace

ProgramRun runPlay(const std::vector<std::string>& args, const std::filesystem::path& folder,
                   const EnvironmentChanges& changes, double seconds) {
    const std::filesystem::path output = folder / ".play-stdout";
    const std::filesystem::path errors = folder / ".play-stderr";
    std::vector<std::string> argv = {LUMACORE_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramRun run;
    {
        ChildProcess program(argv, changes, folder, output, errors);
        run.exitCode = program.waitExit(seconds).value_or(-1);
    }
    run.output = fileBytes(output);
    run.errors = fileBytes(errors);
    std::filesystem::remove(output);
    std::filesystem::remove(errors);
    return run;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        result.push_back(line);
    return result;
}

std::optional<Picture> readPng(const std::filesystem::path& path) {
    std::optional<lumacore::test::DecodedPng> png = lumacore::test::decodePng(fileBytes(path));
    if (!png) return std::nullopt;
    return Picture{png->width, png->height, std::move(png->rgb)};
}

std::filesystem::path lastInSequence(const std::filesystem::path& folder) {
    std::filesystem::path last;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".png" &&
            (last.empty() || entry.path().filename() > last.filename()))
            last = entry.path();
    return last;
}

void writeStereoWav(const std::filesystem::path& path, const std::vector<float>& samples,
                    int sampleRate, int channels) {
    std::vector<std::int16_t> whole;
    for (float s : samples)
        whole.push_back(static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767)));
    writeWav16(path, whole, sampleRate, channels);
}

void writeSineWav(const std::filesystem::path& path, double frequency, double amplitude,
                  double seconds, int sampleRate, int channels) {
    const auto frames = static_cast<std::size_t>(seconds * sampleRate);
    const auto count = static_cast<std::size_t>(channels);
    std::vector<float> samples(count * frames);
    for (std::size_t i = 0; i < frames; ++i)
        std::fill_n(samples.begin() + count * i, count,
                    static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency *
                                                            double(i) / sampleRate)));
    writeStereoWav(path, samples, sampleRate, channels);
}

std::vector<ToneRun> toneRuns(const std::vector<float>& samples, int channel, int sampleRate,
                              const std::vector<double>& frequencies) {
    std::vector<ToneRun> runs;
    std::size_t lastBlock = 0;
    const std::size_t frames = samples.size() / 2;
    for (std::size_t block = 0; (block * kHop) + kBlock <= frames; ++block) {
        int best = -1;
        double strongest = 0, next = 0;
        for (std::size_t f = 0; f < frequencies.size(); ++f) {
            const double a =
                amplitudeAt(samples, channel, block * kHop, frequencies[f], sampleRate);
            if (a > strongest) {
                next = strongest;
                strongest = a;
                best = static_cast<int>(f);
            } else {
                next = std::max(next, a);
            }
        }
        if (strongest < kMinAmplitude || strongest < kDominance * next) continue;
        const double centre = (double(block * kHop) + kBlock / 2.0) / sampleRate;
        if (runs.empty() || runs.back().tone != best || block - lastBlock > kMaxGapBlocks)
            runs.push_back({best, centre, 0});
        runs.back().seconds = centre - runs.back().start + double(kHop) / sampleRate;
        lastBlock = block;
    }
    return runs;
}

std::optional<std::string> iniValue(const std::filesystem::path& path, const std::string& section,
                                    const std::string& key) {
    std::ifstream in(path);
    std::string line, current;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("[") && line.ends_with("]")) {
            current = line.substr(1, line.size() - 2);
        } else if (current == section && line.starts_with(key + "=")) {
            return line.substr(key.size() + 1);
        }
    }
    return std::nullopt;
}

std::vector<PresentedFrame> readTimingLog(const std::filesystem::path& path) {
    std::vector<PresentedFrame> frames;
    std::ifstream in(path);
    PresentedFrame frame;
    while (in >> frame.presentedNs >> frame.heard >> frame.newestCall)
        frames.push_back(frame);
    return frames;
}

BinRows binRows(int bin, int width, int height) {
    HistoryState state;
    setClientSize(state, width, height);
    return {bandRect(state, bin).top, bandRect(state, bin + 1).top};
}

int brightness(const Picture& picture, int x, int y) {
    const std::uint8_t* pixel = picture.at(x, y);
    return std::max({pixel[0], pixel[1], pixel[2]});
}

int brightestIn(const Picture& picture, int first, int end) {
    int most = 0;
    for (int y = std::max(first, 0); y < std::min(end, picture.height); ++y)
        for (int x = picture.width - kNewestColumns; x < picture.width; ++x)
            most = std::max(most, brightness(picture, x, y));
    return most;
}

int lastingIn(const Picture& picture, int first, int end) {
    int most = 0;
    for (int y = std::max(first, 0); y < std::min(end, picture.height); ++y) {
        std::vector<int> row;
        for (int x = picture.width - kNewestColumns; x < picture.width; ++x)
            row.push_back(brightness(picture, x, y));
        std::nth_element(row.begin(), row.begin() + row.size() / 2, row.end());
        most = std::max(most, row[row.size() / 2]);
    }
    return most;
}

int brightestRow(const Picture& picture) {
    const int historyHeight = static_cast<int>((1.0 - kBannerFraction) * picture.height);
    int best = 0, bestSum = -1;
    for (int y = 0; y < historyHeight; ++y) {
        int sum = 0;
        for (int x = picture.width - kNewestColumns; x < picture.width; ++x)
            sum += brightness(picture, x, y);
        if (sum > bestSum) {
            best = y;
            bestSum = sum;
        }
    }
    return best;
}

std::string showsTones(const Picture& picture, const std::vector<int>& lit,
                       const std::vector<int>& dark) {
    std::string problems;
    if (lit.size() == 1) {
        const BinRows shown = binRows(lit[0], picture.width, picture.height);
        if (const int row = brightestRow(picture); row < shown.first || row >= shown.end)
            problems += "the brightest row is " + std::to_string(row) + ", not in " +
                        std::to_string(shown.first) + ".." + std::to_string(shown.end - 1) + "; ";
    }
    for (const int bin : lit) {
        const BinRows rows = binRows(bin, picture.width, picture.height);
        if (const int most = brightestIn(picture, rows.first, rows.end); most < kLit)
            problems += "bin " + std::to_string(bin) + " is only " + std::to_string(most) + "; ";
    }
    for (const int bin : dark) {
        const BinRows rows = binRows(bin, picture.width, picture.height);
        if (const int stray = lastingIn(picture, rows.first, rows.end); stray > kDark)
            problems += "bin " + std::to_string(bin) + " is lit at " + std::to_string(stray) + "; ";
    }
    return problems;
}

} // namespace lumacore::cli::test
