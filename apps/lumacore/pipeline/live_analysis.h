// The analysis of sound drawn while it arrives: the frames kept from the live position on (a
// CapturedSound read through a SampleBuffer) and their calls, each as soon as its window is in.
// It starts again at the live position whenever what came before must not be drawn late: at the
// start, after a time that was not silence, or when sound waited too long. The clock counts the
// frames that have come; the owner seeks its runner to newestCall() after each restart.
#pragma once

#include <cstdint>
#include <memory>

#include "pipeline/live_clock.h"
#include "pipeline/live_sound.h"
#include "pipeline/sample_buffer.h"

namespace lumacore::cli {

class LiveAnalysis {
  public:
    // `clock` counts frames at `sampleRate` and must outlive this.
    LiveAnalysis(const LiveClock& clock, int sampleRate)
        : clock_(clock), sampleRate_(sampleRate), calls_(sampleRate) {}
    LiveAnalysis(const LiveAnalysis&) = delete;
    LiveAnalysis& operator=(const LiveAnalysis&) = delete;

    // What a runner draws from: the same object for this analysis's whole life.
    LiveCalls& calls() { return calls_; }

    // The analysis from the frames the clock has counted so far, `callsPerSecond` calls a second.
    void restart(double callsPerSecond);
    // `count` interleaved stereo frames for the analysis. False, keeping none, when more would
    // wait than the sound holds: the owner then restarts.
    bool keep(const float* frames, std::int64_t count);
    // The calls may read up to the frames the clock has counted.
    void caughtUp() { calls_.setCaptured(clock_.covered()); }
    // The time of the newest call whose whole window is in; before the first, one call period
    // before it.
    double newestCall() const;

  private:
    const LiveClock& clock_;
    int sampleRate_;
    double callsPerSecond_ = 60;
    std::int64_t first_ = 0;                // the frame the analysis started at
    std::unique_ptr<SampleBuffer> samples_; // before calls_: they read it
    CapturedSound* sound_ = nullptr;        // samples_'
    LiveCalls calls_;
};

} // namespace lumacore::cli
