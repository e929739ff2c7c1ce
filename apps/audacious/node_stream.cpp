#include "node_stream.h"

#include <algorithm>
#include <cmath>

namespace lumacore::audacious {
namespace {

// Frame `n` of a node of `frames` frames played forwards, backwards, forwards...
std::int64_t backAndForth(std::int64_t n, std::int64_t frames) {
    const std::int64_t turn = n % (2 * frames);
    return turn < frames ? turn : 2 * frames - 1 - turn;
}

} // namespace

std::int64_t NodeStream::hear(const float* pcm, int channels, int frames, double now) {
    stereo_.clear();
    restarted_ = false;
    if (channels < 1 || frames < 1 || !std::isfinite(now))
        return 0; // nothing Audacious could mean; the stream goes on from the node before
    const auto moment = static_cast<std::int64_t>(std::llround(now * rate_));
    std::int64_t span = moment - lastFrame_;
    if (!started_ || span < 0 || span > std::llround(kMaxGapSeconds * rate_)) {
        span = frames;
        restarted_ = true;
        started_ = true;
        previous_.clear();
    }
    lastFrame_ = moment;

    node_.resize(std::size_t(2) * frames);
    for (int i = 0; i < frames; ++i) {
        const float* frame = pcm + std::size_t(i) * channels;
        node_[2 * i] = frame[0];
        node_[2 * i + 1] = frame[channels > 1 ? 1 : 0];
    }
    const std::int64_t first = span >= frames ? 0 : frames - span;
    stereo_.resize(static_cast<std::size_t>(span) * 2);
    for (std::int64_t i = 0; i < span; ++i) {
        const std::int64_t at = backAndForth(first + i, frames);
        stereo_[2 * i] = node_[2 * at];
        stereo_[2 * i + 1] = node_[2 * at + 1];
    }
    if (!previous_.empty()) {
        const auto before = static_cast<std::int64_t>(previous_.size() / 2);
        for (std::int64_t i = 0; i < std::min<std::int64_t>(kFadeFrames, span); ++i) {
            const std::int64_t at = backAndForth(previousEnd_ + i, before);
            const float in = (float(i) + 0.5f) / kFadeFrames;
            for (int side = 0; side < 2; ++side)
                stereo_[2 * i + side] =
                    in * stereo_[2 * i + side] + (1 - in) * previous_[2 * at + side];
        }
    }
    previous_.swap(node_);
    previousEnd_ = first + span;
    return span;
}

} // namespace lumacore::audacious
