// The analyser: a ring of the most recent samples, from which each call takes the 1152 samples
// starting at its time, turns the first 576 into waveform bytes and all 1152, Hann-windowed,
// into 576 spectrum bins on a square-root amplitude scale (docs/analysis.md).
#include "analysis/analyser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include <kiss_fftr.h>

namespace lumacore::cli {
namespace {

constexpr std::size_t kWindow = kAnalysisWindow;
constexpr std::size_t kBins = kSamplesPerChannel;
// Stereo frames the ring holds: a window and the reads that refill it.
constexpr std::size_t kRingFrames = 4096;
constexpr std::size_t kReadFrames = 1024;
static_assert((kRingFrames & (kRingFrames - 1)) == 0, "the ring is indexed by masking");
static_assert(kRingFrames >= kWindow + kReadFrames);

struct FftFree {
    void operator()(kiss_fftr_cfg config) const { kiss_fftr_free(config); }
};
using FftPtr = std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, FftFree>;

unsigned char waveformByte(float sample) {
    const long value = std::lround(static_cast<double>(sample) * 128.0);
    return static_cast<unsigned char>(static_cast<signed char>(std::clamp(value, -128L, 127L)));
}

// A bin's amplitude (that of a sine centred on it, 1 = full scale) on the 0..255 scale: the square
// root, so that 12 dB less halves the value; a full-scale sine reaches 255 (docs/analysis.md).
unsigned char spectrumByte(double amplitude) {
    const double value = std::round(255.0 * std::sqrt(amplitude));
    return static_cast<unsigned char>(std::min(value, 255.0));
}

} // namespace

struct Analyser::Impl {
    AudioSource& source;
    double callsPerSecond;
    double sampleRate;
    long long call = 0;

    // Samples [ringStart, ringEnd) of the sound, stereo interleaved, at index & (kRingFrames-1).
    std::vector<float> ring = std::vector<float>(2 * kRingFrames);
    long long ringStart = 0;
    long long ringEnd = 0;
    bool sourceEnded = false;
    std::vector<float> block = std::vector<float>(2 * kReadFrames);

    FftPtr fft{kiss_fftr_alloc(static_cast<int>(kWindow), 0, nullptr, nullptr)};
    std::array<float, kWindow> window{};
    std::array<float, kWindow> input{};
    std::array<kiss_fft_cpx, kWindow / 2 + 1> output{};
    double windowSum = 0;

    Impl(AudioSource& source, double callsPerSecond)
        : source(source), callsPerSecond(callsPerSecond), sampleRate(source.info().sampleRate) {
        if (!std::isfinite(callsPerSecond) || callsPerSecond <= 0)
            throw std::invalid_argument("calls per second must be a positive number, not " +
                                        std::to_string(callsPerSecond));
        if (sampleRate <= 0)
            throw std::invalid_argument("the sound's sample rate must be positive, not " +
                                        std::to_string(source.info().sampleRate));
        if (!fft) throw std::bad_alloc();
        // A periodic Hann window: its copies one half-window apart sum to a constant.
        for (std::size_t k = 0; k < kWindow; ++k) {
            window[k] =
                static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * k / kWindow));
            windowSum += window[k];
        }
    }

    // The first sample of call n: floor(n * sampleRate / callsPerSecond), robust to the
    // rounding of rates such as 30000/1001.
    long long startOf(long long n) const {
        return static_cast<long long>(
            std::floor(static_cast<long double>(n) * sampleRate / callsPerSecond + 1e-6L));
    }

    // Reads one block from the source into the ring (or, before `keepFrom`, drops it).
    void pull(long long keepFrom) {
        const std::size_t room = kRingFrames - static_cast<std::size_t>(ringEnd - ringStart);
        std::size_t want = std::min(kReadFrames, room);
        if (ringEnd < keepFrom)
            want = static_cast<std::size_t>(
                std::min<long long>(static_cast<long long>(want), keepFrom - ringEnd));
        const std::size_t got = source.read(block.data(), want);
        if (got == 0) {
            sourceEnded = true;
            return;
        }
        for (std::size_t i = 0; i < got; ++i) {
            const std::size_t at = static_cast<std::size_t>(ringEnd + i) & (kRingFrames - 1);
            for (std::size_t c = 0; c < 2; ++c) {
                const float value = block[2 * i + c];
                ring[2 * at + c] = std::isfinite(value) ? value : 0.0f;
            }
        }
        ringEnd += static_cast<long long>(got);
        ringStart = std::max(ringStart, ringEnd - static_cast<long long>(kRingFrames));
    }

    float sample(long long index, std::size_t channel) const {
        if (index >= ringEnd) return 0.0f; // past the end of the sound
        return ring[2 * (static_cast<std::size_t>(index) & (kRingFrames - 1)) + channel];
    }

    bool next(winampVisModule& module, double& timeSeconds) {
        const long long start = startOf(call);
        ringStart = std::max(ringStart, std::min(start, ringEnd)); // earlier samples are done
        while (!sourceEnded && ringEnd < start + static_cast<long long>(kWindow)) {
            pull(start);
            if (ringEnd <= start) ringStart = ringEnd;
        }
        if (start >= ringEnd) return false; // the sound ended before this call's time

        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t k = 0; k < kSamplesPerChannel; ++k)
                module.waveformData[c][k] = waveformByte(sample(start + k, c));
            for (std::size_t k = 0; k < kWindow; ++k)
                input[k] = window[k] * sample(start + k, c);
            kiss_fftr(fft.get(), input.data(), output.data());
            for (std::size_t k = 0; k < kBins; ++k) {
                const double magnitude = std::hypot(output[k].r, output[k].i);
                // Both halves of the spectrum fold into bins above 0; bin 0 (DC) has one.
                const double amplitude = (k == 0 ? 1.0 : 2.0) * magnitude / windowSum;
                module.spectrumData[c][k] = spectrumByte(amplitude);
            }
        }
        timeSeconds = static_cast<double>(call) / callsPerSecond;
        ++call;
        return true;
    }
};

Analyser::Analyser(AudioSource& source, double callsPerSecond)
    : impl_(std::make_unique<Impl>(source, callsPerSecond)) {}

Analyser::~Analyser() = default;

bool Analyser::next(winampVisModule& module, double& timeSeconds) {
    return impl_->next(module, timeSeconds);
}

} // namespace lumacore::cli
