#include "live_picture.h"

#include <algorithm>

#include "analysis/analyser.h"

namespace lumacore::obs {

LivePicture::LivePicture(const SourcePicture& picture, const std::string& title, int sampleRate,
                         TextRenderer& text, double now)
    : rate_(sampleRate), callsPerSecond_(picture.callsPerSecond),
      clock_(sampleRate, cli::kAnalysisWindow), calls_(sampleRate) {
    cli::checkSampleRate(sampleRate, "OBS's audio");
    clock_.restart(now);
    gather();
    runner_ = std::make_unique<cli::ModuleRunner>(picture.display, title, calls_, text);
    runner_->boundCatchUp(true);
    shown_ = newestCall();
    runner_->seek(shown_);
}

LivePicture::~LivePicture() {
    runner_.reset(); // it reads the calls, which read the sound
    calls_.reset();
}

void LivePicture::gather() {
    calls_.reset();
    samples_.reset();
    auto sound = std::make_unique<cli::CapturedSound>(rate_);
    sound_ = sound.get();
    first_ = clock_.covered();
    samples_ = std::make_unique<cli::SampleBuffer>(std::move(sound), first_);
    calls_.setCaptured(first_);
    calls_.start(*samples_, callsPerSecond_, first_);
    if (runner_) {
        shown_ = std::max(shown_, newestCall());
        runner_->seek(shown_);
    }
}

void LivePicture::keep(const float* frames, std::int64_t count) {
    if (count <= 0) return;
    if (!sound_->push(frames, static_cast<std::size_t>(count))) gather();
}

double LivePicture::newestCall() const {
    return cli::newestLiveCallSeconds(clock_.covered(), first_, callsPerSecond_, rate_);
}

void LivePicture::hear(const float* frames, std::int64_t count, double endSeconds, bool restarted,
                       double now) {
    if (restarted) {
        clock_.restart(now); // the time between was not silence
        gather();
    }
    if (count <= 0) return;
    const double latency = std::max(0.0, now - endSeconds);
    const std::int64_t kept = clock_.arrived(now, count, latency);
    keep(frames + 2 * (count - kept), kept);
    calls_.setCaptured(clock_.covered());
    runner_->poll();
}

bool LivePicture::advance(double now) {
    if (const std::int64_t silence = clock_.silenceDue(now); silence > 0) {
        quiet_.assign(2 * static_cast<std::size_t>(silence), 0.0f);
        keep(quiet_.data(), silence);
        calls_.setCaptured(clock_.covered());
        runner_->poll();
    }
    shown_ = std::max(shown_, std::min(clock_.at(now), newestCall()));
    const std::int64_t before = runner_->callsMade();
    runner_->advanceTo(shown_);
    return runner_->callsMade() != before;
}

} // namespace lumacore::obs
