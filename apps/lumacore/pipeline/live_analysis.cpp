#include "pipeline/live_analysis.h"

#include <utility>

namespace lumacore::cli {

void LiveAnalysis::restart(double callsPerSecond) {
    callsPerSecond_ = callsPerSecond;
    calls_.reset(); // before the sound it reads goes
    auto sound = std::make_unique<CapturedSound>(sampleRate_);
    sound_ = sound.get();
    first_ = clock_.covered();
    samples_ = std::make_unique<SampleBuffer>(std::move(sound), first_);
    calls_.setCaptured(first_);
    calls_.start(*samples_, callsPerSecond_, first_);
}

bool LiveAnalysis::keep(const float* frames, std::int64_t count) {
    return count <= 0 || (sound_ && sound_->push(frames, static_cast<std::size_t>(count)));
}

double LiveAnalysis::newestCall() const {
    return newestLiveCallSeconds(clock_.covered(), first_, callsPerSecond_, sampleRate_);
}

} // namespace lumacore::cli
