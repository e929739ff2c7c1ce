// Where a run's time comes from. The loop asks its clock for the time of each next picture and
// advances the module to it; the commands differ only in their clock and their output:
//   render  FrameClock: picture k at k / fps, as fast as the machine goes;
//   play    (to come) the samples the sound card has played, less its latency;
//   listen  (to come) the samples captured so far.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace lumacore::cli {

class Clock {
  public:
    virtual ~Clock() = default;
    // The stream time of the next picture, in seconds from the run's start, or nullopt when
    // the run has no more pictures. A live clock waits here until the picture is due.
    virtual std::optional<double> nextPicture() = 0;
};

// Offline time: picture k at k / fps for every k / fps before `endSeconds`.
class FrameClock final : public Clock {
  public:
    explicit FrameClock(double fps, double endSeconds = std::numeric_limits<double>::infinity())
        : fps_(fps), end_(endSeconds) {}
    std::optional<double> nextPicture() override {
        const double time = static_cast<double>(k_) / fps_;
        if (time >= end_) return std::nullopt;
        ++k_;
        return time;
    }

  private:
    double fps_;
    double end_;
    std::int64_t k_ = 0;
};

// One picture at one moment: a still.
class MomentClock final : public Clock {
  public:
    explicit MomentClock(double seconds) : seconds_(seconds) {}
    std::optional<double> nextPicture() override {
        if (done_) return std::nullopt;
        done_ = true;
        return seconds_;
    }

  private:
    double seconds_;
    bool done_ = false;
};

} // namespace lumacore::cli
