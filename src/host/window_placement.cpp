#include "host/window_placement.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace lumacore {
namespace {

int sideOf(int stored, int fallback, int largest) {
    if (stored <= 0) stored = fallback;
    return std::min(stored, largest);
}

// The start of a span of `length` wanted at `at`, so that min(length, kReachableExtent) of it
// overlaps [low, high); a screen narrower than that gets the span's start at its low edge.
std::int64_t reachableStart(std::int64_t at, std::int64_t length, std::int64_t low,
                            std::int64_t high) {
    const std::int64_t overlap = std::clamp<std::int64_t>(length, 0, kReachableExtent);
    const std::int64_t first = low - length + overlap; // the lowest start still overlapping
    const std::int64_t last = std::max(first, high - overlap);
    return std::clamp(at, first, last);
}

int saturated(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

WindowSize creationSize(WindowSize stored, WindowSize fallback, WindowSize largest) {
    return {sideOf(stored.width, fallback.width, largest.width),
            sideOf(stored.height, fallback.height, largest.height)};
}

Rect reachablePlacement(int x, int y, WindowSize size, const Rect& screen) {
    const std::int64_t left = reachableStart(x, size.width, screen.left, screen.right);
    const std::int64_t top = reachableStart(y, size.height, screen.top, screen.bottom);
    return {saturated(left), saturated(top), saturated(left + size.width),
            saturated(top + size.height)};
}

} // namespace lumacore
