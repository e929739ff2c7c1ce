#include "live_picture.h"

#include <algorithm>
#include <cstdint>

extern "C" {
#include <libswresample/swresample.h>
}

#include "analysis/analyser.h"

namespace lumacore::obs {

LivePicture::LivePicture(const SourcePicture& picture, const std::string& title, int sampleRate,
                         TextRenderer& text, double now)
    : inRate_(sampleRate), callsPerSecond_(picture.callsPerSecond),
      clock_(kAnalysisRate, cli::kAnalysisWindow), analysis_(clock_, kAnalysisRate) {
    cli::checkSampleRate(sampleRate, "OBS's audio");
    clock_.restart(now);
    gather();
    runner_ = std::make_unique<cli::ModuleRunner>(picture.display, title, analysis_.calls(), text);
    runner_->boundCatchUp(true);
    shown_ = analysis_.newestCall();
    runner_->seek(shown_);
}

LivePicture::~LivePicture() = default;

void LivePicture::gather() {
    analysis_.restart(callsPerSecond_);
    if (runner_) {
        shown_ = std::max(shown_, analysis_.newestCall());
        runner_->seek(shown_);
    }
}

void LivePicture::keep(const float* frames, std::int64_t count) {
    if (!analysis_.keep(frames, count)) gather();
}

void LivePicture::hear(const float* frames, std::int64_t count, double endSeconds, bool restarted,
                       double now) {
    if (restarted) {
        clock_.restart(now); // the time between was not silence
        gather();
        resampler_.reset(); // nothing it holds belongs before the new sound
    }
    if (inRate_ != kAnalysisRate) {
        count = resample(frames, count);
        frames = resampled_.data();
    }
    if (count <= 0) return;
    const double latency = std::max(0.0, now - endSeconds);
    const std::int64_t kept = clock_.arrived(now, count, latency);
    keep(frames + 2 * (count - kept), kept);
    analysis_.caughtUp();
    runner_->poll();
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
    if (const std::int64_t silence = clock_.silenceDue(now); silence > 0) {
        quiet_.assign(2 * static_cast<std::size_t>(silence), 0.0f);
        keep(quiet_.data(), silence);
        analysis_.caughtUp();
        runner_->poll();
    }
    shown_ = std::max(shown_, std::min(clock_.at(now), analysis_.newestCall()));
    const std::int64_t before = runner_->callsMade();
    runner_->advanceTo(shown_);
    return runner_->callsMade() != before;
}

} // namespace lumacore::obs
