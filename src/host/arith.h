// The one conversion from floating point to a pixel coordinate, size or colour component:
// truncation toward zero. Values beyond the int range (a corrupt setting can produce them)
// saturate instead of overflowing, and NaN gives 0; every in-range value truncates exactly.
#pragma once

#include <climits>

namespace lumacore {

constexpr int truncToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);
}

} // namespace lumacore
