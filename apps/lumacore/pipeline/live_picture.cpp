#include "pipeline/live_picture.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace lumacore::cli {

LivePicture::LivePicture(const Display& display, double callsPerSecond, const std::string& title,
                         int sampleRate, const char* soundName, TextRenderer& text, double now)
    : inRate_(sampleRate), callsPerSecond_(callsPerSecond), analysis_(kAnalysisRate) {
    checkSampleRate(sampleRate, soundName);
    analysis_.restartAt(now, callsPerSecond_);
    runner_ = std::make_unique<ModuleRunner>(display, title, analysis_.calls(), text);
    runner_->boundCatchUp(true);
    analysis_.drive(runner_.get());
}

LivePicture::~LivePicture() {
    analysis_.drive(nullptr);
}

void LivePicture::hear(const float* frames, std::int64_t count, double endSeconds, bool restarted,
                       double now) {
    if (restarted) {
        analysis_.restartAt(now, callsPerSecond_); // the time between was not silence
        resampler_.reset();                        // nothing it holds belongs before the new sound
    }
    if (inRate_ != kAnalysisRate) {
        count = resample(frames, count);
        frames = resampled_.data();
    }
    analysis_.hear(now, frames, count, std::max(0.0, now - endSeconds));
}

std::int64_t LivePicture::resample(const float* frames, std::int64_t count) {
    if (!resampler_) {
        try {
            resampler_ = std::make_unique<StereoResampler>(inRate_, kAnalysisRate);
        } catch (const std::runtime_error&) {
            return 0; // no sound rather than sound at the wrong pitch
        }
    }
    resampled_.clear();
    return static_cast<std::int64_t>(
        resampler_->convert(frames, static_cast<std::size_t>(count), resampled_));
}

bool LivePicture::advance(double now) {
    // Calls of silence on a picture at rest change nothing: only what may have changed counts.
    const std::int64_t before = runner_->pictureChanges();
    runner_->advanceTo(analysis_.pictureTime(now));
    return runner_->pictureChanges() != before;
}

} // namespace lumacore::cli
