#include "listen/sound_capture.h"

#include <chrono>

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

} // namespace lumacore::cli
