#include "render/start_offset.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumacore::cli {
namespace {

class StartOffset final : public AudioSource {
  public:
    StartOffset(std::unique_ptr<AudioSource> source, double seconds)
        : source_(std::move(source)), info_(source_->info()),
          offset_(std::llround(seconds * info_.sampleRate)),
          toSkip_(static_cast<std::size_t>(offset_)) {
        if (info_.durationSeconds >= 0)
            info_.durationSeconds = std::max(0.0, info_.durationSeconds - seconds);
    }
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override {
        std::vector<float> scratch;
        while (toSkip_ > 0) {
            scratch.resize(2 * std::min<std::size_t>(toSkip_, 8192));
            const std::size_t got = source_->read(scratch.data(), scratch.size() / 2);
            if (got == 0) return 0;
            toSkip_ -= got;
        }
        return source_->read(out, frames);
    }
    void seek(std::int64_t frame) override {
        source_->seek(frame + offset_);
        toSkip_ = 0;
    }

  private:
    std::unique_ptr<AudioSource> source_;
    AudioInfo info_;
    std::int64_t offset_; // frames of the source before this one's start
    std::size_t toSkip_;
};

} // namespace

std::unique_ptr<AudioSource> startingAt(std::unique_ptr<AudioSource> source, double seconds) {
    if (seconds <= 0) return source;
    return std::make_unique<StartOffset>(std::move(source), seconds);
}

} // namespace lumacore::cli
