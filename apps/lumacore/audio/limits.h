// The bounds every number entering the renderer is checked against, and the one checked
// conversion from a floating-point count to an integer: together they keep every product of a
// time, a rate and a size inside the integers that hold it.
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumacore::cli {

// The largest picture side, before and after --scale.
inline constexpr int kMaxPictureSide = 16384;
// Render calls and pictures per second.
inline constexpr double kMinRate = 0.01;
inline constexpr double kMaxCallRate = 1000;
inline constexpr double kMaxFrameRate = 240;
// The longest stream a render covers (a little over 11 days): times this long, multiplied by
// any rate or sample rate allowed, stay far inside 64-bit integers.
inline constexpr double kMaxStreamSeconds = 1e6;

// `value` (already rounded as the caller needs) as a 64-bit integer; throws std::out_of_range
// naming `what` when it is not finite or does not fit. The one place a double becomes a count.
inline std::int64_t checkedInt64(double value, const char* what) {
    if (!std::isfinite(value) || value < -9.2e18 || value > 9.2e18)
        throw std::out_of_range(std::string(what) + " is out of range");
    return static_cast<std::int64_t>(value);
}

} // namespace lumacore::cli
