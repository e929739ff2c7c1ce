// Live sound: the queue of captured frames and the calls made of it as it fills.
#include "pipeline/live_sound.h"

#include <algorithm>
#include <cmath>

#include "analysis/analyser.h"

namespace lumacore::cli {

bool CapturedSound::push(const float* frames, std::size_t count) {
    const auto most = static_cast<std::size_t>(kMaxWaitingSeconds * info_.sampleRate);
    if (queue_.size() / 2 + count > most) return false;
    queue_.insert(queue_.end(), frames, frames + 2 * count);
    return true;
}

std::size_t CapturedSound::read(float* out, std::size_t frames) {
    const std::size_t count = std::min(frames, queue_.size() / 2);
    std::copy_n(queue_.begin(), 2 * count, out);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(2 * count));
    return count;
}

void LiveCalls::start(SampleBuffer& buffer, double callsPerSecond, std::int64_t firstFrame) {
    calls_.analyse(buffer, callsPerSecond, firstFrame);
    callsPerSecond_ = callsPerSecond;
    first_ = firstFrame;
    made_ = 0;
}

bool LiveCalls::next(winampVisModule& module, double& timeSeconds) {
    // Call n analyses the window from first + floor(n * sample rate / calls per second).
    const auto from = first_ + static_cast<std::int64_t>(std::floor(static_cast<double>(made_) *
                                                                    sampleRate_ / callsPerSecond_));
    if (from + kAnalysisWindow > captured_ || !calls_.next(module, timeSeconds)) return false;
    ++made_;
    return true;
}

std::int64_t LiveCalls::skip(std::int64_t count, double beforeSeconds) {
    const std::int64_t dropped = calls_.skip(count, beforeSeconds);
    made_ += dropped;
    return dropped;
}

double newestLiveCallSeconds(std::int64_t captured, std::int64_t first, double callsPerSecond,
                             int sampleRate) {
    // Call n starts at first + floor(n * sample rate / rate), so the newest one whose window has
    // come in is the last n below (past + 1) * rate / sample rate.
    const std::int64_t past = captured - first - kAnalysisWindow;
    const double newest =
        past < 0 ? -1.0
                 : std::ceil(static_cast<double>(past + 1) * callsPerSecond / sampleRate) - 1.0;
    return static_cast<double>(first) / sampleRate + newest / callsPerSecond;
}

} // namespace lumacore::cli
