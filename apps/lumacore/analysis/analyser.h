// Turns a sound stream into what a player hands a visualisation plug-in for each Render call:
// 2 x 576 waveform samples (signed 8-bit) at the call's time and 2 x 576 spectrum bins (0..255,
// lowest frequency first) from a windowed FFT. It reads the shared sample buffer, so memory does
// not grow with the song.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/audio_source.h"
#include "audio/sample_buffer.h"
#include "host/vis_module.h"

namespace lumacore::cli {

// The spectrum of a call comes from this many samples starting at the call's time; the waveform
// is the first kSamplesPerChannel of them (docs/analysis.md).
inline constexpr int kAnalysisWindow = 2 * kSamplesPerChannel;

// Whether every one of `count` samples is so quiet that a call whose window holds nothing louder is
// all zeros: a waveform byte rounds a sample's 128 times to zero below 1/256, and a spectrum
// bin's amplitude, at most twice the loudest sample of the window, rounds to zero below
// 1/260100 (255 times its square root under a half).
bool inaudible(const float* samples, std::size_t count);

class Analyser {
  public:
    // Render calls happen `callsPerSecond` times per second of sound, the first at time 0; a
    // call is made for every time before the end of the sound. Throws std::invalid_argument
    // for a rate that is not a positive number. The source must outlive the analyser.
    Analyser(AudioSource& source, double callsPerSecond);
    // The same over a shared buffer, the first call at frame `firstFrame` of it (the render's
    // start): call n takes the frames from firstFrame + floor(n * sampleRate / callsPerSecond).
    // The buffer must outlive the analyser.
    Analyser(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame);
    ~Analyser();
    Analyser(const Analyser&) = delete;
    Analyser& operator=(const Analyser&) = delete;

    // Fills module.spectrumData and module.waveformData for the next call and returns true, or
    // returns false once the sound has ended. `timeSeconds` receives the call's time. The
    // source's AudioError passes through.
    bool next(winampVisModule& module, double& timeSeconds);

    // Drops the next calls, at most `count` of them and none at or after `beforeSeconds`, without
    // analysing them; returns how many were dropped. A call beyond the end of the sound is
    // dropped like any other (next() then finds the end).
    std::int64_t skip(std::int64_t count, double beforeSeconds);

    double callsPerSecond() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumacore::cli
