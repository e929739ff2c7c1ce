// Sound drawn while it arrives (a sound server's capture, a browser's microphone): the frames
// pushed so far as a source for the sample buffer, and their analysis, each call as soon as its
// whole window has come in (and never before: the buffer would take a source with nothing more
// for one that has ended).
#pragma once

#include <cstdint>
#include <deque>

#include "audio/audio_source.h"
#include "pipeline/entry_calls.h"

namespace lumacore::cli {

// The frames pushed, in order, read once each. At most kMaxWaitingSeconds of them wait to be
// read: sound nobody reads for that long (a page hidden without its pictures) is not kept.
class CapturedSound final : public AudioSource {
  public:
    static constexpr double kMaxWaitingSeconds = 30;

    explicit CapturedSound(int sampleRate) { info_.sampleRate = sampleRate; }
    const AudioInfo& info() const override { return info_; }
    // `count` stereo frames, interleaved. False, keeping none of them, when more would wait than
    // kMaxWaitingSeconds: the owner then starts the sound afresh at the live position.
    bool push(const float* frames, std::size_t count);
    std::size_t read(float* out, std::size_t frames) override;
    void seek(std::int64_t) override { throw AudioError("live sound cannot be sought"); }

  private:
    AudioInfo info_;
    std::deque<float> queue_;
};

class LiveCalls final : public CallSource {
  public:
    explicit LiveCalls(int sampleRate) : sampleRate_(sampleRate) {}
    // The analysis of `buffer` from `firstFrame` on, `callsPerSecond` calls a second.
    void start(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame);
    // No calls (before the sound they read goes away).
    void reset() { calls_.reset(); }
    // How many frames have come in since the start of the capture.
    void setCaptured(std::int64_t frames) { captured_ = frames; }

    bool next(winampVisModule& module, double& timeSeconds) override;
    std::int64_t skip(std::int64_t count, double beforeSeconds) override;
    double callsPerSecond() const override { return callsPerSecond_; }

  private:
    int sampleRate_;
    EntryCalls calls_;
    double callsPerSecond_ = 60;
    std::int64_t first_ = 0;
    std::int64_t made_ = 0;
    std::int64_t captured_ = 0;
};

// The time of the newest call whose whole window lies within the first `captured` frames, for
// calls `callsPerSecond` a second from frame `first`; before the first such call, one call
// period before it. A clock built on it moves only when a call can be made, so a picture loop
// never takes the wait for a window to fill for the end of the sound.
double newestLiveCallSeconds(std::int64_t captured, std::int64_t first, double callsPerSecond,
                             int sampleRate);

} // namespace lumacore::cli
