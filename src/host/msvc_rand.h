// The Windows C runtime's rand(), reproduced so that the native build draws the same "random"
// numbers as the plug-in: a 32-bit linear congruential generator whose high bits give 0..32767.
#pragma once

#include <cstdint>

namespace lumacore {

class MsvcRand {
  public:
    // The state srand(seed) sets; the runtime starts every thread as if srand(1) had been called.
    explicit MsvcRand(std::uint32_t seed = 1) : state_(seed) {}

    // The next value, 0..32767.
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
    int operator()() { return next(); }

  private:
    std::uint32_t state_;
};

} // namespace lumacore
