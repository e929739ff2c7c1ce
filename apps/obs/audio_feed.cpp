#include "audio_feed.h"

#include <algorithm>
#include <cmath>

namespace lumacore::obs {

void appendStereo(const float* const* planes, int channels, std::size_t frames,
                  std::vector<float>& out) {
    const std::size_t at = out.size();
    out.resize(at + 2 * frames, 0.0f);
    if (planes == nullptr || channels <= 0) return;
    const float* left = planes[0];
    const float* right = channels > 1 ? planes[1] : planes[0];
    float* to = out.data() + at;
    for (std::size_t i = 0; i < frames; ++i) {
        to[2 * i] = left ? left[i] : 0.0f;
        to[2 * i + 1] = right ? right[i] : 0.0f;
    }
}

std::uint64_t AudioFeed::endNs() const {
    return anchorNs_ + static_cast<std::uint64_t>(
                           std::llround(static_cast<double>(sinceAnchor_) * 1e9 / rate_));
}

void AudioFeed::push(const float* const* planes, int channels, std::size_t frames,
                     std::uint64_t timestampNs) {
    const std::lock_guard lock(mutex_);
    std::size_t skip = 0;
    if (started_) {
        // Where this block begins against the end of the sound so far, in whole frames: a
        // fraction of a frame is the time stamps' rounding.
        const double offsetNs = static_cast<double>(timestampNs) - static_cast<double>(endNs());
        const auto offset = static_cast<std::int64_t>(std::llround(offsetNs * rate_ / 1e9));
        const auto maxGap = static_cast<std::int64_t>(kMaxGapSeconds * rate_);
        if (offset > maxGap || offset < -maxGap) {
            started_ = false; // afresh below
        } else if (offset > 0) {
            waiting_.resize(waiting_.size() + 2 * static_cast<std::size_t>(offset), 0.0f);
            sinceAnchor_ += offset;
        } else if (offset < 0) {
            skip = std::min(frames, static_cast<std::size_t>(-offset));
        }
    }
    if (!started_) {
        restarted_ = restarted_ || anchorNs_ != 0 || sinceAnchor_ != 0;
        waiting_.clear();
        started_ = true;
        anchorNs_ = timestampNs;
        sinceAnchor_ = 0;
    }
    if (skip > 0 && skip >= frames) return;
    if (planes == nullptr) {
        appendStereo(nullptr, 0, frames - skip, waiting_);
    } else {
        const float* shifted[2] = {nullptr, nullptr};
        for (int c = 0; c < std::min(channels, 2); ++c)
            shifted[c] = planes[c] ? planes[c] + skip : nullptr;
        appendStereo(shifted, std::min(channels, 2), frames - skip, waiting_);
    }
    sinceAnchor_ += static_cast<std::int64_t>(frames - skip);
    // Nobody took the sound for too long: only the newest is worth drawing.
    const auto most = static_cast<std::size_t>(2 * kMaxWaitingSeconds * rate_);
    if (waiting_.size() > most) {
        waiting_.erase(waiting_.begin(), waiting_.end() - static_cast<std::ptrdiff_t>(most));
        restarted_ = true;
    }
}

AudioFeed::Taken AudioFeed::take(std::vector<float>& out) {
    const std::lock_guard lock(mutex_);
    Taken taken;
    taken.frames = static_cast<std::int64_t>(waiting_.size() / 2);
    taken.endNs = started_ ? endNs() : 0;
    taken.restarted = restarted_;
    out.insert(out.end(), waiting_.begin(), waiting_.end());
    waiting_.clear();
    restarted_ = false;
    return taken;
}

} // namespace lumacore::obs
