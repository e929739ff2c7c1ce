// The Render calls of whatever is playing now, on its own time line (seconds from the start of
// the entry): the analysis of the entry's sound from any frame (its start, --start, a seek), or a
// frames file. The module runner keeps one of these for the whole run and is told to seek
// whenever it is pointed at something new.
#pragma once

#include <memory>

#include "pipeline/call_source.h"

namespace lumacore::cli {

class EntryCalls final : public CallSource {
  public:
    // The analysis of `buffer` from `firstFrame` on.
    void analyse(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame) {
        calls_.reset();
        calls_ = std::make_unique<AnalysedCalls>(buffer, callsPerSecond, firstFrame);
        offset_ = static_cast<double>(firstFrame) / buffer.info().sampleRate;
    }
    // A frames file's calls from `startSeconds` on.
    void record(std::unique_ptr<RecordedCalls> calls, double startSeconds) {
        calls_ = std::move(calls);
        offset_ = startSeconds;
    }
    // No calls (before the sound they read goes away).
    void reset() { calls_.reset(); }

    bool next(winampVisModule& module, double& timeSeconds) override {
        if (!calls_ || !calls_->next(module, timeSeconds)) return false;
        timeSeconds += offset_;
        return true;
    }
    std::int64_t skip(std::int64_t count, double beforeSeconds) override {
        return calls_ ? calls_->skip(count, beforeSeconds - offset_) : 0;
    }
    double callsPerSecond() const override { return calls_ ? calls_->callsPerSecond() : 0; }

  private:
    std::unique_ptr<CallSource> calls_;
    double offset_ = 0;
};

} // namespace lumacore::cli
