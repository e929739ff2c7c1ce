// Where Render calls come from: the analysis of the shared sample buffer, or a recorded frames
// file. Each call carries its time in seconds from the run's start.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "analysis/analyser.h"
#include "frames/frames_file.h"
#include "host/vis_module.h"
#include "audio/sample_buffer.h"

namespace lumacore::cli {

class CallSource {
  public:
    virtual ~CallSource() = default;
    // Fills the record's rows and `timeSeconds` with the next call and returns true, or returns
    // false at the end. Throws AudioError or FramesError.
    virtual bool next(winampVisModule& module, double& timeSeconds) = 0;

    // Drops the next calls, at most `count` of them and none whose time is at or after
    // `beforeSeconds`, without making them (a picture that fell behind skips what it can no
    // longer show); returns how many were dropped. A source that cannot drop calls cheaply drops
    // none.
    virtual std::int64_t skip(std::int64_t /*count*/, double /*beforeSeconds*/) { return 0; }
    // Calls a second, the spacing of their times; 0 when not known.
    virtual double callsPerSecond() const { return 0; }
};

// The analyser's calls over the buffer, the first at frame `firstFrame`.
class AnalysedCalls final : public CallSource {
  public:
    AnalysedCalls(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame)
        : analyser_(buffer, callsPerSecond, firstFrame) {}
    bool next(winampVisModule& module, double& timeSeconds) override {
        return analyser_.next(module, timeSeconds);
    }
    std::int64_t skip(std::int64_t count, double beforeSeconds) override {
        return analyser_.skip(count, beforeSeconds);
    }
    double callsPerSecond() const override { return analyser_.callsPerSecond(); }

  private:
    Analyser analyser_;
};

// A frames file's calls from `startSeconds` on. Every time stamp is checked against the file's
// rate: none may lie beyond the length of all its frames at that rate (plus one frame), and that
// length may not exceed kMaxStreamSeconds, so a damaged stamp cannot stretch a render without end.
class RecordedCalls final : public CallSource {
  public:
    RecordedCalls(const std::string& path, double startSeconds);
    const FramesHeader& header() const { return reader_.header(); }
    // The file's length at its rate, in seconds.
    double lengthSeconds() const { return lengthSeconds_; }
    bool next(winampVisModule& module, double& timeSeconds) override;
    std::int64_t skip(std::int64_t count, double beforeSeconds) override;
    double callsPerSecond() const override;

  private:
    // The next frame from `start` on, checked; false at the end.
    bool nextFrame(Frame& frame);

    std::string path_;
    FramesReader reader_;
    std::optional<Frame> held_; // read by skip() but not dropped: the next call
    double start_;
    double lengthSeconds_;
    std::uint64_t latestUs_; // no stamp may be later
};

} // namespace lumacore::cli
