// One application's streams summed into one sound, as the sink mixes them: each stream's frames
// wait in a queue of their own until every stream still sending has delivered as far, so that
// frames the sink played together are summed together. A stream that has sent nothing for a
// while (paused, or ending) is not waited for: what it lacks counts as silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace lumacore::cli {

class StreamMixer {
  public:
    // A stream quiet this long is not waited for.
    static constexpr double kStalledSeconds = 0.1;

    // `maxQueued`: the most frames a stream's queue holds; beyond, its oldest are dropped.
    explicit StreamMixer(std::size_t maxQueued) : maxQueued_(maxQueued) {}

    // Stream `id` joins (its queue empty) or leaves (what it had queued goes with it).
    void add(int id, double now);
    void remove(int id);
    std::size_t size() const { return streams_.size(); }

    // `count` interleaved stereo frames of stream `id`, delivered at `now` (seconds).
    void push(int id, const float* frames, std::size_t count, double now);

    // Appends to `out` the frames every stream still sending has delivered, summed, and returns
    // how many; frames dropped from full queues since the last call are added to `lost`.
    std::size_t take(std::vector<float>& out, double now, std::int64_t& lost);

  private:
    struct Stream {
        std::deque<float> queue; // interleaved
        double lastPush = 0;
    };
    std::size_t maxQueued_;
    std::map<int, Stream> streams_;
    std::int64_t lost_ = 0;
};

} // namespace lumacore::cli
