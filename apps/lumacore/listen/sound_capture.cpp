#include "listen/sound_capture.h"

#include <chrono>

namespace lumacore::cli {

void SoundArrival::heard(const float*, std::size_t) {
    {
        const std::lock_guard lock(mutex_);
        fresh_ = true;
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
}

} // namespace lumacore::cli
