#include "listen/sound_capture.h"

#include <chrono>
#include <utility>

#include "analysis/analyser.h"

namespace lumacore::cli {

void SoundArrival::heard(const float* samples, std::size_t floats) {
    const bool audible = !inaudible(samples, floats);
    {
        const std::lock_guard lock(mutex_);
        if (resting_ && !audible) return;
        fresh_ = true;
        audible_ = audible_ || audible;
        quiet_ = quiet_ && !audible;
        if (resting_) {
            resting_ = false;
            if (waker_) waker_();
        }
    }
    arrived_.notify_one();
}

void SoundArrival::wait(double seconds) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return fresh_; });
}

void SoundArrival::clear() {
    const std::lock_guard lock(mutex_);
    fresh_ = false;
    audible_ = false;
}

void SoundArrival::setWaker(std::function<void()> waker) {
    const std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
}

bool SoundArrival::rest() {
    const std::lock_guard lock(mutex_);
    resting_ = !audible_;
    quiet_ = quiet_ || resting_;
    return resting_;
}

bool SoundArrival::endRest() {
    const std::lock_guard lock(mutex_);
    resting_ = false;
    return audible_;
}

bool SoundArrival::quiet() {
    const std::lock_guard lock(mutex_);
    return quiet_;
}

void FrameQueue::bound(std::size_t maxFrames) {
    if (samples.size() <= 2 * maxFrames) return;
    const std::size_t excess = samples.size() / 2 - maxFrames;
    samples.erase(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(2 * excess));
    lost_ += static_cast<std::int64_t>(excess);
}

void FrameQueue::takeInto(std::vector<float>& out, CapturedFrames& taken) {
    taken.frames = samples.size() / 2;
    out.insert(out.end(), samples.begin(),
               samples.begin() + static_cast<std::ptrdiff_t>(2 * taken.frames));
    samples.clear();
    taken.lost = std::exchange(lost_, 0);
}

void FrameQueue::clear() {
    samples.clear();
    lost_ = 0;
}

} // namespace lumacore::cli
