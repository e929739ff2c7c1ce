// The live path: the clock, the kept sound and its calls, and the runner they drive.
#include "pipeline/live_analysis.h"

#include <algorithm>
#include <utility>

#include "analysis/analyser.h"

namespace lumacore::cli {

LiveAnalysis::LiveAnalysis(int sampleRate)
    : sampleRate_(sampleRate), clock_(sampleRate, kAnalysisWindow), calls_(sampleRate) {}

void LiveAnalysis::drive(ModuleRunner* runner) {
    runner_ = runner;
    if (runner_) runner_->seek(shown_);
}

void LiveAnalysis::restartAt(double now, double callsPerSecond) {
    callsPerSecond_ = callsPerSecond;
    clock_.restart(now);
    gather();
}

void LiveAnalysis::gather() {
    calls_.reset(); // before the sound it reads goes
    auto sound = std::make_unique<CapturedSound>(sampleRate_);
    sound_ = sound.get();
    first_ = clock_.covered();
    samples_ = std::make_unique<SampleBuffer>(std::move(sound), first_);
    calls_.setCaptured(first_);
    calls_.start(*samples_, callsPerSecond_, first_);
    // The first call here becomes due once its whole window has come in.
    shown_ = std::max(shown_, newestCall());
    if (runner_) runner_->seek(shown_);
}

void LiveAnalysis::keep(const float* frames, std::int64_t count) {
    if (paused_ || count <= 0) return;
    if (!sound_->push(frames, static_cast<std::size_t>(count))) gather();
}

void LiveAnalysis::caughtUp() {
    if (paused_) return;
    calls_.setCaptured(clock_.covered());
    if (runner_) runner_->poll();
}

void LiveAnalysis::hear(double now, const float* frames, std::int64_t count,
                        double latencySeconds) {
    if (count <= 0) return;
    const std::int64_t kept = clock_.arrived(now, count, latencySeconds);
    keep(frames + 2 * (count - kept), kept);
    caughtUp();
}

void LiveAnalysis::lost(double now, std::int64_t count, double latencySeconds) {
    if (count <= 0) return;
    clock_.arrived(now, count, latencySeconds);
    if (!paused_) gather();
}

double LiveAnalysis::pictureTime(double now) {
    if (const std::int64_t silence = clock_.silenceDue(now); silence > 0) {
        // Silence longer than the sound can hold (a window stalled for minutes) is not made:
        // the analysis starts again after it, as it would on refusing it.
        if (silence > static_cast<std::int64_t>(CapturedSound::kMaxWaitingSeconds * sampleRate_)) {
            if (!paused_) gather();
        } else {
            quiet_.assign(2 * static_cast<std::size_t>(silence), 0.0f);
            keep(quiet_.data(), silence);
        }
        caughtUp();
    }
    const double heard = clock_.at(now);
    if (!paused_) shown_ = std::max(shown_, std::min(heard, newestCall()));
    return shown_;
}

void LiveAnalysis::setPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    if (!paused_) gather();
}

double LiveAnalysis::newestCall() const {
    return newestLiveCallSeconds(clock_.covered(), first_, callsPerSecond_, sampleRate_);
}

} // namespace lumacore::cli
