// Summing streams that arrive each in its own fragments.
#include "listen/stream_mixer.h"

#include <algorithm>
#include <limits>

namespace lumacore::cli {

void StreamMixer::add(int id, double now) {
    streams_[id].lastPush = now;
}

void StreamMixer::remove(int id) {
    streams_.erase(id);
}

void StreamMixer::push(int id, const float* frames, std::size_t count, double now) {
    const auto found = streams_.find(id);
    if (found == streams_.end()) return;
    Stream& stream = found->second;
    stream.queue.insert(stream.queue.end(), frames, frames + 2 * count);
    stream.lastPush = now;
    if (stream.queue.size() > 2 * maxQueued_) {
        const std::size_t excess = stream.queue.size() / 2 - maxQueued_;
        stream.queue.erase(stream.queue.begin(),
                           stream.queue.begin() + static_cast<std::ptrdiff_t>(2 * excess));
        lost_ += static_cast<std::int64_t>(excess);
    }
}

std::size_t StreamMixer::take(std::vector<float>& out, double now, std::int64_t& lost) {
    lost += lost_;
    lost_ = 0;
    // As far as every stream still sending has come; when none is, whatever is left.
    std::size_t ready = std::numeric_limits<std::size_t>::max();
    std::size_t left = 0;
    for (const auto& [id, stream] : streams_) {
        const std::size_t frames = stream.queue.size() / 2;
        left = std::max(left, frames);
        if (now - stream.lastPush <= kStalledSeconds) ready = std::min(ready, frames);
    }
    if (ready == std::numeric_limits<std::size_t>::max()) ready = left;
    if (ready == 0) return 0;
    const std::size_t at = out.size();
    out.resize(at + 2 * ready, 0.0f);
    for (auto& [id, stream] : streams_) {
        const std::size_t samples = std::min(stream.queue.size(), 2 * ready);
        for (std::size_t i = 0; i < samples; ++i)
            out[at + i] += stream.queue[i];
        stream.queue.erase(stream.queue.begin(),
                           stream.queue.begin() + static_cast<std::ptrdiff_t>(samples));
    }
    return ready;
}

} // namespace lumacore::cli
