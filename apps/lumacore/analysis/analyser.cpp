// The analyser: each call reads the 1152 samples starting at its time from the sample buffer,
// turns the first 576 into waveform bytes and all 1152, Hann-windowed, into 576 spectrum bins on
// a square-root amplitude scale (docs/analysis.md).
#include "analysis/analyser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include <kiss_fftr.h>

#include "audio/limits.h"

namespace lumacore::cli {
namespace {

constexpr std::size_t kWindow = kAnalysisWindow;
constexpr std::size_t kBins = kSamplesPerChannel;

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

bool inaudible(const float* samples, std::size_t count) {
    constexpr float kLoudest = 1.0f / 524288; // 2^-19, below half of 1/260100
    return std::all_of(samples, samples + count,
                       [](float sample) { return std::abs(sample) <= kLoudest; });
}

struct Analyser::Impl {
    std::unique_ptr<SampleBuffer> ownBuffer; // when made from a source directly
    SampleBuffer& buffer;
    SampleBuffer::Reader reader;
    double callsPerSecond;
    double sampleRate;
    std::int64_t firstFrame;
    long long call = 0;

    std::array<float, 2 * kWindow> samples{}; // the call's window, interleaved
    FftPtr fft{kiss_fftr_alloc(static_cast<int>(kWindow), 0, nullptr, nullptr)};
    std::array<float, kWindow> window{};
    std::array<float, kWindow> input{};
    std::array<kiss_fft_cpx, kWindow / 2 + 1> output{};
    double windowSum = 0;

    Impl(std::unique_ptr<SampleBuffer> own, SampleBuffer& shared, double callsPerSecond,
         std::int64_t firstFrame)
        : ownBuffer(std::move(own)), buffer(shared), reader(shared, firstFrame),
          callsPerSecond(callsPerSecond), sampleRate(shared.info().sampleRate),
          firstFrame(firstFrame) {
        if (!std::isfinite(callsPerSecond) || callsPerSecond <= 0)
            throw std::invalid_argument("calls per second must be a positive number, not " +
                                        std::to_string(callsPerSecond));
        if (sampleRate <= 0)
            throw std::invalid_argument("the sound's sample rate must be positive, not " +
                                        std::to_string(shared.info().sampleRate));
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
    std::int64_t startOf(long long n) const {
        return checkedInt64(static_cast<double>(std::floor(
                                static_cast<long double>(n) * sampleRate / callsPerSecond + 1e-6L)),
                            "the time of a Render call");
    }

    bool next(winampVisModule& module, double& timeSeconds) {
        const std::int64_t start = firstFrame + startOf(call);
        const std::size_t got = reader.read(start, samples.data(), kWindow);
        if (got == 0) return false; // the sound ended before this call's time
        // Past the end of the sound the window is silent; values that are not numbers count as 0.
        std::fill(samples.begin() + 2 * static_cast<std::ptrdiff_t>(got), samples.end(), 0.0f);
        for (float& value : samples)
            if (!std::isfinite(value)) value = 0.0f;

        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t k = 0; k < kSamplesPerChannel; ++k)
                module.waveformData[c][k] = waveformByte(samples[2 * k + c]);
            for (std::size_t k = 0; k < kWindow; ++k)
                input[k] = window[k] * samples[2 * k + c];
            kiss_fftr(fft.get(), input.data(), output.data());
            for (std::size_t k = 0; k < kBins; ++k) {
                const double magnitude = std::hypot(output[k].r, output[k].i);
                // Both halves of the spectrum fold into bins above 0; bin 0 (DC) has one.
                const double amplitude = (k == 0 ? 1.0 : 2.0) * magnitude / windowSum;
                module.spectrumData[c][k] = spectrumByte(amplitude);
            }
        }
        timeSeconds = timeOf(call);
        ++call;
        return true;
    }

    double timeOf(long long n) const { return static_cast<double>(n) / callsPerSecond; }

    std::int64_t skip(std::int64_t count, double beforeSeconds) {
        if (count <= 0 || !(timeOf(call) < beforeSeconds)) return 0;
        // The first call at or after the bound, found from the rate and made exact by the times
        // the calls are given.
        const double estimate = std::min(std::ceil(beforeSeconds * callsPerSecond), 9e15);
        long long end = std::max(call, static_cast<long long>(estimate));
        while (end > call && !(timeOf(end - 1) < beforeSeconds))
            --end;
        while (timeOf(end) < beforeSeconds)
            ++end;
        if (end - call > count) end = call + count;
        const std::int64_t dropped = end - call;
        call = end;
        return dropped;
    }
};

Analyser::Analyser(AudioSource& source, double callsPerSecond) {
    auto own = std::make_unique<SampleBuffer>(source);
    SampleBuffer& shared = *own;
    impl_ = std::make_unique<Impl>(std::move(own), shared, callsPerSecond, 0);
}

Analyser::Analyser(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame)
    : impl_(std::make_unique<Impl>(nullptr, buffer, callsPerSecond, firstFrame)) {}

Analyser::~Analyser() = default;

std::int64_t Analyser::skip(std::int64_t count, double beforeSeconds) {
    return impl_->skip(count, beforeSeconds);
}

double Analyser::callsPerSecond() const {
    return impl_->callsPerSecond;
}

bool Analyser::next(winampVisModule& module, double& timeSeconds) {
    return impl_->next(module, timeSeconds);
}

} // namespace lumacore::cli
