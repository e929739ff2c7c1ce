// The built-in demo tune: 16 bars in A minor at 128 beats a minute (30 s), synthesised sample by
// sample as it is read: a bass line, chord pads, a plucked arpeggio with an echo, kick, snare
// and hi-hats from a fixed-seed noise generator, and a rising sweep in the breakdown. The same
// sample rate always gives the same samples, however the reads are split.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/audio_source.h"

namespace lumacore::cli {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kBeat = 60.0 / 128; // seconds
constexpr double kStep = kBeat / 4;  // a sixteenth note
constexpr double kBar = 4 * kBeat;
constexpr int kBars = 16;
constexpr double kLength = kBars * kBar; // 30 s

// Am, F, C, G: the bass root and three pad notes (MIDI numbers) of each bar, round and round.
struct Chord {
    int root;
    std::array<int, 3> pad;
};
constexpr std::array<Chord, 4> kChords{{
    {33, {57, 60, 64}}, // A minor
    {29, {57, 60, 65}}, // F major
    {36, {55, 60, 64}}, // C major
    {31, {55, 59, 62}}, // G major
}};
// The bass line in eighth notes, in semitones above the bar's root.
constexpr std::array<int, 8> kBassLine{0, 0, 12, 0, 7, 0, 12, 10};
// The arpeggio in sixteenths: indexes into the pad chord, 3 meaning its lowest note an octave up.
constexpr std::array<int, 8> kArpeggio{0, 1, 2, 3, 2, 1, 3, 1};

double noteFrequency(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Deterministic noise: xorshift32 from a fixed seed, scaled to -1..1.
class Noise {
  public:
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

  private:
    std::uint32_t state_ = 0x2545F491u;
};

class LowPass {
  public:
    void setCutoff(double hz, double sampleRate) {
        coefficient_ = 1.0 - std::exp(-kTwoPi * std::min(hz, 0.45 * sampleRate) / sampleRate);
    }
    double operator()(double x) { return value_ += coefficient_ * (x - value_); }

  private:
    double coefficient_ = 1.0;
    double value_ = 0.0;
};

// A sawtooth with its jump smoothed (polyBLEP), so that high notes do not alias harshly.
class Saw {
  public:
    double next(double frequency, double sampleRate) {
        const double step = frequency / sampleRate;
        phase_ += step;
        if (phase_ >= 1.0) phase_ -= 1.0;
        double value = 2.0 * phase_ - 1.0;
        if (phase_ < step) {
            const double t = phase_ / step;
            value -= t + t - t * t - 1.0;
        } else if (phase_ > 1.0 - step) {
            const double t = (phase_ - 1.0) / step;
            value -= t * t + t + t + 1.0;
        }
        return value;
    }

  private:
    double phase_ = 0.0;
};

class Sine {
  public:
    double next(double frequency, double sampleRate) {
        phase_ += frequency / sampleRate;
        phase_ -= std::floor(phase_);
        return std::sin(kTwoPi * phase_);
    }

  private:
    double phase_ = 0.0;
};

// Rises from 0 to 1 over `attack` seconds from the note's start, then decays with `decay`.
double envelope(double sinceStart, double attack, double decay) {
    if (sinceStart < 0) return 0.0;
    const double rise = sinceStart < attack ? sinceStart / attack : 1.0;
    return rise * std::exp(-sinceStart / decay);
}

class Synth {
  public:
    explicit Synth(int sampleRate)
        : rate_(sampleRate), echoLeft_(static_cast<std::size_t>(kEchoTime * sampleRate) + 1),
          echoRight_(echoLeft_.size()) {
        for (LowPass& filter : padFilter_)
            filter.setCutoff(1400, rate_);
        for (LowPass& filter : bassFilter_)
            filter.setCutoff(420, rate_);
        hatFilter_.setCutoff(6500, rate_);
        snareLow_.setCutoff(900, rate_);
        snareHigh_.setCutoff(7000, rate_);
    }

    // The stereo sample at `index`; calls must come with index 0, 1, 2, ...
    void render(long long index, float& leftOut, float& rightOut) {
        const double t = static_cast<double>(index) / rate_;
        const int bar = std::min(static_cast<int>(t / kBar), kBars - 1);
        const Chord& chord = kChords[bar % 4];
        const double inBar = t - bar * kBar;
        const bool breakdown = bar == 12 || bar == 13;
        const bool groove = bar >= 2 && !breakdown;

        double left = 0, right = 0;
        const auto centre = [&](double value) {
            left += value;
            right += value;
        };
        const auto panned = [&](double value, double pan) { // pan -1 (left) .. 1 (right)
            left += value * (1 - pan) * 0.5 * std::numbers::sqrt2;
            right += value * (1 + pan) * 0.5 * std::numbers::sqrt2;
        };

        // Pads: two slightly detuned saws per note, one leaning left and one right.
        const double padLevel =
            std::min(1.0, 0.4 + t / kBar) * 0.05 * (0.75 + 0.25 * std::min(1.0, inBar / 0.2));
        for (std::size_t v = 0; v < 3; ++v) {
            const double f = noteFrequency(chord.pad[v]);
            for (std::size_t side = 0; side < 2; ++side) {
                const std::size_t saw = 2 * v + side;
                const double raw = padSaw_[saw].next(side ? f / 1.0035 : f * 1.0035, rate_);
                const double warm = padFilter_[2 * saw](padFilter_[2 * saw + 1](raw));
                panned(padLevel * warm, side ? 0.5 : -0.5);
            }
        }

        // Bass: eighth notes, a sine with a filtered saw on top, cut short before the next.
        if (groove || bar == 13) {
            const double eighth = kBeat / 2;
            const int note = static_cast<int>(inBar / eighth);
            const double since = inBar - note * eighth;
            const double f = noteFrequency(chord.root + kBassLine[note % 8]);
            const double gate =
                since < 0.85 * eighth ? 1.0 : std::max(0.0, 1 - (since - 0.85 * eighth) / 0.01);
            const double level = 0.22 * gate * (0.55 + 0.45 * envelope(since, 0.004, 0.18));
            const double tone = bassSine_.next(f, rate_) +
                                0.5 * bassFilter_[0](bassFilter_[1](bassSaw_.next(f, rate_)));
            centre(level * tone);
        }

        // Arpeggio: plucked sixteenths with a ping-pong echo, from bar 6.
        double pluck = 0;
        if (bar >= 6) {
            const int step = static_cast<int>(inBar / kStep);
            const double since = inBar - step * kStep;
            const int which = kArpeggio[step % 8];
            const int midi = 12 + (which == 3 ? chord.pad[0] + 12 : chord.pad[which]);
            const double f = noteFrequency(midi);
            const double s = arpSine_.next(f, rate_);
            const double level = (bar >= 14 ? 0.09 : 0.07) * envelope(since, 0.002, 0.09);
            pluck = level * (s + 0.25 * s * s * s);
            panned(pluck, step % 2 ? 0.35 : -0.35);
        }
        const double echoedLeft = echoLeft_[echoAt_];
        const double echoedRight = echoRight_[echoAt_];
        echoLeft_[echoAt_] = static_cast<float>(pluck + 0.4 * echoedRight);
        echoRight_[echoAt_] = static_cast<float>(0.4 * echoedLeft);
        echoAt_ = (echoAt_ + 1) % echoLeft_.size();
        left += 0.5 * echoedLeft;
        right += 0.5 * echoedRight;

        // Percussion, all from the one noise generator.
        const double noise = noise_.next();
        const int beat = static_cast<int>(inBar / kBeat);
        const double sinceBeat = inBar - beat * kBeat;
        if (groove) { // kick on every beat: a falling sine with a click
            const double drop = 0.03;
            const double phase = 48 * sinceBeat + 110 * drop * (1 - std::exp(-sinceBeat / drop));
            const double body = std::sin(kTwoPi * phase) * envelope(sinceBeat, 0.001, 0.22);
            centre(0.42 * body + 0.08 * noise * envelope(sinceBeat, 0.0005, 0.004));
        }
        const double snareBody = snareHigh_(noise) - snareLow_(noise);
        if (groove && beat % 2 == 1) {
            const double tone =
                std::sin(kTwoPi * 185 * sinceBeat) * envelope(sinceBeat, 0.001, 0.06);
            centre(0.16 * snareBody * envelope(sinceBeat, 0.001, 0.11) + 0.12 * tone);
        }
        if (bar == 13) { // a roll of sixteenths that grows into the last section
            const int step = static_cast<int>(inBar / kStep);
            const double since = inBar - step * kStep;
            centre(0.2 * (step + 1) / 16.0 * snareBody * envelope(since, 0.001, 0.05));
        }
        const double hat = noise - hatFilter_(noise);
        if (bar >= 1) {
            const double eighth = kBeat / 2;
            const int which = static_cast<int>(inBar / eighth);
            const double since = inBar - which * eighth;
            const bool open = which == 7 && groove;
            const double level = which % 2 ? 0.07 : 0.035;
            panned(level * hat * envelope(since, 0.0005, open ? 0.16 : 0.035), 0.3);
        }

        // The sweep: six octaves up through the breakdown, growing as it climbs.
        if (breakdown) {
            const double start = 12 * kBar;
            const double span = 2 * kBar;
            const double x = (t - start) / span; // 0 .. 1
            const double f = 110 * std::pow(64.0, x);
            const double fade = std::min(1.0, (span - (t - start)) / 0.03);
            const double s = sweep_.next(f, rate_);
            panned(0.11 * (0.3 + 0.7 * x) * fade * s, std::sin(kTwoPi * x * 2) * 0.4);
        }

        // Fade in and out, and a soft limit that keeps every peak below full scale.
        const double fade = std::min({1.0, t / 0.02, (kLength - t) / 1.5});
        leftOut = static_cast<float>(0.95 * std::tanh(fade * left / 0.95));
        rightOut = static_cast<float>(0.95 * std::tanh(fade * right / 0.95));
    }

  private:
    static constexpr double kEchoTime = 3 * kStep; // a dotted eighth

    double rate_;
    std::array<Saw, 6> padSaw_;
    std::array<LowPass, 12> padFilter_; // two in a row for each saw
    Saw bassSaw_;
    Sine bassSine_;
    std::array<LowPass, 2> bassFilter_;
    Sine arpSine_;
    Sine sweep_;
    Noise noise_;
    LowPass hatFilter_, snareLow_, snareHigh_;
    std::vector<float> echoLeft_, echoRight_;
    std::size_t echoAt_ = 0;
};

// Seeking replays the synthesiser from the nearest earlier copy of its state: copies are kept
// every few seconds as reading passes them, so that a seek costs at most those seconds.
class DemoTune final : public AudioSource {
  public:
    explicit DemoTune(int sampleRate)
        : synth_(sampleRate), checkpointEvery_(kCheckpointSeconds * sampleRate) {
        info_.sampleRate = sampleRate;
        info_.sourceChannels = 2;
        info_.durationSeconds = kLength;
        info_.title = "Lumacore demo";
        info_.artist = "Lumacore";
        length_ = std::llround(kLength * sampleRate);
        checkpoints_.push_back(synth_);
    }
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override {
        std::size_t done = 0;
        for (; done < frames && position_ < length_; ++done) {
            keepCheckpoint();
            synth_.render(position_++, out[2 * done], out[2 * done + 1]);
        }
        return done;
    }
    void seek(std::int64_t frame) override {
        if (frame < 0)
            throw AudioError("demo tune: cannot seek to frame " + std::to_string(frame) +
                             ", before the start");
        const std::int64_t target = std::min<std::int64_t>(frame, length_);
        if (target < position_ || target - position_ > checkpointEvery_) {
            const auto known = static_cast<std::int64_t>(checkpoints_.size()) - 1;
            const std::int64_t nearest = std::min(target / checkpointEvery_, known);
            if (nearest * checkpointEvery_ > position_ || target < position_) {
                synth_ = checkpoints_[static_cast<std::size_t>(nearest)];
                position_ = nearest * checkpointEvery_;
            }
        }
        float left, right;
        for (; position_ < target; ++position_) {
            keepCheckpoint();
            synth_.render(position_, left, right);
        }
        position_ = frame; // beyond the end, reads give nothing
    }

  private:
    static constexpr int kCheckpointSeconds = 2;

    // Keeps the synthesiser's state at every checkpoint it reaches for the first time.
    void keepCheckpoint() {
        if (position_ % checkpointEvery_ == 0 &&
            position_ / checkpointEvery_ == static_cast<std::int64_t>(checkpoints_.size()))
            checkpoints_.push_back(synth_);
    }

    AudioInfo info_;
    Synth synth_;
    std::int64_t checkpointEvery_;
    std::vector<Synth> checkpoints_; // the state at 0, checkpointEvery_, 2 checkpointEvery_, ...
    std::int64_t length_ = 0;
    std::int64_t position_ = 0;
};

} // namespace

std::unique_ptr<AudioSource> demoTune(int sampleRate) {
    checkSampleRate(sampleRate, "demo tune");
    return std::make_unique<DemoTune>(sampleRate);
}

} // namespace lumacore::cli
