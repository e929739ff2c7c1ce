#include "signals.h"

#include <cmath>
#include <cstdint>

namespace lumacore::vishost {
namespace {

unsigned char clampByte(double value) {
    if (value <= 0) return 0;
    if (value >= 255) return 255;
    return static_cast<unsigned char>(value);
}

unsigned char sampleByte(double value) {
    const double clamped = value < -128 ? -128 : value > 127 ? 127 : value;
    return static_cast<unsigned char>(static_cast<signed char>(std::lround(clamped)));
}

// Levels of the range a player hands over for ordinary music: strong low bands, a melody line
// that wanders, a beat every 16 frames, a slow swell and a short silence now and then.
void music(Frame& frame, int index) {
    const bool beat = index % 16 < 2;
    const bool quiet = index % 197 >= 190;
    const double swell = 0.65 + 0.35 * std::sin(index * 0.037);
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < kSamplesPerChannel; ++i) {
            const double base = 60.0 * std::exp(-i / 45.0) * (beat ? 1.7 : 1.0) * swell;
            const double centre = 75.0 + 55.0 * std::sin(index * 0.021 + ch * 0.4);
            const double melody = 32.0 * std::exp(-std::pow((i - centre) / 5.0, 2));
            const double ripple = (index * 29 + i * 13 + ch * 7) % 9;
            frame.spectrum[ch][i] = quiet ? 0 : clampByte(base + melody + ripple);
            const double t = i + index * static_cast<double>(kSamplesPerChannel);
            const double loudness = 0.06 + 0.3 * (0.5 + 0.5 * std::sin(index * 0.045));
            const double level = quiet ? 0.0 : beat ? 0.55 : loudness;
            frame.waveform[ch][i] = sampleByte(
                level * (70.0 * std::sin(t * 0.031 + ch) + 40.0 * std::sin(t * 0.17 + 2 * ch)));
        }
    }
}

void sweep(Frame& frame, int index) {
    const int band = index % kSamplesPerChannel;
    const double step = 0.02 + 0.002 * (index % 100);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < kSamplesPerChannel; ++i) {
            frame.spectrum[ch][i] = i == band ? 255 : 0;
            frame.waveform[ch][i] = sampleByte(127.0 * std::sin(i * step));
        }
}

void full(Frame& frame) {
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < kSamplesPerChannel; ++i) {
            frame.spectrum[ch][i] = 255;
            frame.waveform[ch][i] = sampleByte((i / 8) % 2 ? -128 : 127);
        }
}

// Random levels and samples, the same for the same frame index.
void noise(Frame& frame, int index) {
    std::uint32_t x = 0x9E3779B9u ^ static_cast<std::uint32_t>(index) * 2654435761u;
    const auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < kSamplesPerChannel; ++i) {
            const std::uint32_t r = next();
            frame.spectrum[ch][i] = static_cast<unsigned char>(r);
            frame.waveform[ch][i] = static_cast<unsigned char>(r >> 8);
        }
}

} // namespace

bool isSignalName(const std::string& name) {
    return name == "music" || name == "silence" || name == "sweep" || name == "full" ||
           name == "noise";
}

Frame signalFrame(const std::string& name, int index) {
    Frame frame; // zeroed: silence
    frame.timeUs = static_cast<std::uint64_t>(index) * 1000000 / 60;
    if (name == "music") music(frame, index);
    if (name == "sweep") sweep(frame, index);
    if (name == "full") full(frame);
    if (name == "noise") noise(frame, index);
    return frame;
}

FrameSource::FrameSource(const std::string& framesPath, const std::string& signal)
    : framesPath_(framesPath), signal_(signal) {
    if (!framesPath.empty()) reader_ = std::make_unique<FramesReader>(framesPath);
}

bool FrameSource::next(Frame& frame) {
    if (reader_) return reader_->next(frame);
    frame = signalFrame(signal_, index_++);
    return true;
}

std::uint32_t FrameSource::sampleRate() const {
    return reader_ ? reader_->header().sampleRate : 44100;
}

std::string FrameSource::description() const {
    return reader_ ? "frames:" + framesPath_ : "signal:" + signal_;
}

} // namespace lumacore::vishost
