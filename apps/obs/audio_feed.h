// Sound as OBS hands it over on its audio thread (planar float channels, each block time-stamped
// in nanoseconds on OBS's clock), waiting as interleaved stereo for the video thread to take.
// The time stamps place the blocks: a short gap between them becomes silence, a block that
// overlaps the sound already given loses its repeated start, and a jump beyond kMaxGapSeconds
// (a source restarted, a clock that moved) starts the sound afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace lumacore::obs {

// Appends `frames` frames of `channels` planes to `out` as interleaved stereo: one channel is
// heard on both sides, channels beyond the first two (front left and right in every layout OBS
// has) are left out. Missing planes (null) are silent.
void appendStereo(const float* const* planes, int channels, std::size_t frames,
                  std::vector<float>& out);

class AudioFeed {
  public:
    static constexpr double kMaxGapSeconds = 1.0;
    static constexpr double kMaxWaitingSeconds = 5.0; // what a stalled video thread may leave

    explicit AudioFeed(int sampleRate) : rate_(sampleRate) {}

    // From OBS's audio thread. `planes` null: silence (a muted source).
    void push(const float* const* planes, int channels, std::size_t frames,
              std::uint64_t timestampNs);

    struct Taken {
        std::int64_t frames = 0; // stereo frames appended
        std::uint64_t endNs = 0; // when the newest of them ends, on OBS's clock
        bool restarted = false;  // the sound before them is not continued by them
    };
    // From the video thread: appends what waits to `out` (interleaved stereo).
    Taken take(std::vector<float>& out);

  private:
    std::uint64_t endNs() const; // the end of the sound given so far

    const int rate_;
    std::mutex mutex_;
    std::vector<float> waiting_;
    bool started_ = false;
    bool restarted_ = false;
    std::uint64_t anchorNs_ = 0;   // the time stamp the sound (re)started at
    std::int64_t sinceAnchor_ = 0; // frames given since then, silence included
};

} // namespace lumacore::obs
