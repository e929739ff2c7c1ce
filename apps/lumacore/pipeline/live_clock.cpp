// The live clock: the lag between the wall clock and the stream time shown, the largest that
// the recent arrivals asked for, and silence for a source that has gone quiet.
#include "pipeline/live_clock.h"

#include <algorithm>
#include <cmath>

namespace lumacore::cli {
namespace {

constexpr double kMemorySeconds = 4.0;  // how long an arrival's lag and gap count
constexpr double kSlew = 0.01;          // a shrinking lag lets the picture run at most 1 % fast...
constexpr double kResyncSeconds = 0.05; // ...unless it is this much more than the source needs
constexpr double kQuietSeconds = 0.2;   // a picture kept waiting longer than this draws silence
constexpr double kLongestBurst = 2.0;   // a longer wait between arrivals is a silence, not a burst

} // namespace

LiveClock::LiveClock(int sampleRate, int lookahead)
    : rate_(sampleRate), lookahead_(lookahead / static_cast<double>(sampleRate)),
      shown_(-lookahead_) {}

double LiveClock::coveredSeconds() const {
    return static_cast<double>(covered_) / rate_ - lookahead_;
}

void LiveClock::forget(std::deque<Sample>& samples, double now) {
    while (!samples.empty() && samples.front().when < now - kMemorySeconds)
        samples.pop_front();
}

void LiveClock::remember(std::deque<Sample>& samples, double now, double value) {
    forget(samples, now); // whether or not anything asks for them, old ones go
    samples.push_back({now, value});
}

double LiveClock::largest(std::deque<Sample>& samples, double now, double otherwise) {
    forget(samples, now);
    if (samples.empty()) return otherwise;
    double most = samples.front().value;
    for (const Sample& sample : samples)
        most = std::max(most, sample.value);
    return most;
}

void LiveClock::restart(double now) {
    started_ = true;
    anchored_ = false;
    lastArrival_ = lagUpdated_ = steadySince_ = now;
    lag_ = base_ = now - std::max(coveredSeconds(), shown_);
    silentFrames_ = 0;
    starvedSince_ = -1;
    lags_.clear();
    gaps_.clear();
    bases_.clear();
}

std::int64_t LiveClock::arrived(double now, std::int64_t frames, double latencySeconds) {
    if (!started_) restart(now);
    if (frames <= 0) return 0;
    std::int64_t kept = frames;
    const bool afterSilence = silentFrames_ > 0;
    if (afterSilence) {
        // Where this sound begins on the time line, by the pace the source kept before it went
        // quiet: what of it silence already covers is dropped.
        const double begins = now - latencySeconds - frames / rate_ - base_;
        const double overlap = std::round(static_cast<double>(covered_) - begins * rate_);
        kept -= static_cast<std::int64_t>(
            std::clamp(overlap, 0.0, static_cast<double>(std::min(frames, silentFrames_))));
        silentFrames_ = 0;
    }
    const std::int64_t before = covered_;
    covered_ += kept;
    // Heard now: the newest frame plus the latency; the picture shows no later than that. Sound
    // is never early, so the arrival that came soonest after it was heard gives the base.
    const double heard = now - (static_cast<double>(covered_) / rate_ + latencySeconds);
    remember(lags_, now, heard);
    remember(bases_, now, -heard);
    base_ = -largest(bases_, now, -heard);
    if (anchored_ && !afterSilence && pictured_) {
        // The last picture before this had only what came before it: the picture must lag
        // enough that that lasted, and as much for the next wait as long as such waits recur.
        remember(lags_, now, lastPicture_ - (static_cast<double>(before) / rate_ - lookahead_));
    }
    pictured_ = false;
    // The first sound after a start sets the lag the start could only guess.
    if (!anchored_) lag_ = heard;
    // The waits between arrivals tell how quiet the source may be without being silent.
    if (anchored_) remember(gaps_, now, std::min(now - lastArrival_, kLongestBurst));
    anchored_ = true;
    lastArrival_ = now;
    starvedSince_ = -1;
    return kept;
}

void LiveClock::follow(double now) {
    const double wanted = largest(lags_, now, lag_);
    if (wanted > lag_) {
        lag_ = wanted; // the sound is late: the picture waits for it
    } else if (lag_ - wanted > kResyncSeconds && now - steadySince_ >= kMemorySeconds) {
        // The source, sending steadily for as long as the clock remembers, no longer needs that
        // much (an idle sink began to play): the picture jumps ahead rather than creeping.
        lag_ = wanted;
    } else {
        lag_ = std::max(wanted, lag_ - kSlew * (now - lagUpdated_));
    }
    lagUpdated_ = now;
}

std::int64_t LiveClock::silenceDue(double now) {
    if (!started_) restart(now);
    follow(now);
    const double wanted = now - lag_; // the stream time the picture wants to show
    if (wanted <= coveredSeconds()) {
        starvedSince_ = -1;
        return 0;
    }
    if (starvedSince_ < 0) starvedSince_ = now;
    // A source whose pace is known is silent once the picture has waited for it longer than its
    // own unevenness explains; until its pace is known (its first two arrivals), once it has
    // sent nothing for as long as a burst may last.
    const bool paceKnown = largest(gaps_, now, -1) >= 0;
    if (paceKnown ? now - starvedSince_ <= kQuietSeconds : now - lastArrival_ <= kLongestBurst)
        return 0;
    const auto missing =
        static_cast<std::int64_t>(std::ceil((wanted + lookahead_) * rate_)) - covered_;
    if (missing <= 0) return 0;
    covered_ += missing;
    silentFrames_ += missing;
    steadySince_ = now;
    return missing;
}

double LiveClock::at(double now) {
    if (!started_) restart(now);
    lastPicture_ = now;
    pictured_ = true;
    follow(now);
    shown_ = std::max(shown_, std::min(now - lag_, coveredSeconds()));
    return shown_;
}

} // namespace lumacore::cli
