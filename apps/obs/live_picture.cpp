#include "live_picture.h"

#include <algorithm>
#include <cstdint>

extern "C" {
#include <libswresample/swresample.h>
}

namespace lumacore::obs {

LivePicture::LivePicture(const SourcePicture& picture, const std::string& title, int sampleRate,
                         TextRenderer& text, double now)
    : inRate_(sampleRate), callsPerSecond_(picture.callsPerSecond), analysis_(kAnalysisRate) {
    cli::checkSampleRate(sampleRate, "OBS's audio");
    analysis_.restartAt(now, callsPerSecond_);
    runner_ = std::make_unique<cli::ModuleRunner>(picture.display, title, analysis_.calls(), text);
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
        SwrContext* context = nullptr;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_FLT, kAnalysisRate, &stereo,
                                AV_SAMPLE_FMT_FLT, inRate_, 0, nullptr) < 0 ||
            swr_init(context) < 0) {
            swr_free(&context);
            return 0; // no sound rather than sound at the wrong pitch
        }
        resampler_.reset(context);
    }
    const int room = swr_get_out_samples(resampler_.get(), static_cast<int>(count));
    if (room <= 0) return 0;
    resampled_.resize(2 * static_cast<std::size_t>(room));
    auto* out = reinterpret_cast<std::uint8_t*>(resampled_.data());
    const auto* in = reinterpret_cast<const std::uint8_t*>(frames);
    const int made = swr_convert(resampler_.get(), &out, room, &in, static_cast<int>(count));
    return std::max(made, 0);
}

bool LivePicture::advance(double now) {
    const std::int64_t before = runner_->callsMade();
    runner_->advanceTo(analysis_.pictureTime(now));
    return runner_->callsMade() != before;
}

} // namespace lumacore::obs
