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

// How much of a window lies within a monitor, in 64 bits: the window's far edges may lie beyond
// the int range.
struct Span64 {
    std::int64_t low = 0;
    std::int64_t high = 0;
};

std::int64_t overlapOf(Span64 window, std::int64_t low, std::int64_t high) {
    return std::max<std::int64_t>(0, std::min(window.high, high) - std::max(window.low, low));
}

// The distance from a window's span to a monitor's, 0 where they overlap.
std::int64_t gapOf(Span64 window, std::int64_t low, std::int64_t high) {
    if (window.high <= low) return low - window.high;
    if (window.low >= high) return window.low - high;
    return 0;
}

std::int64_t needed(int length) {
    return std::clamp<std::int64_t>(length, 0, kReachableExtent);
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

Span64 across(int x, WindowSize size) {
    return {x, std::int64_t{x} + size.width};
}

Span64 down(int y, WindowSize size) {
    return {y, std::int64_t{y} + size.height};
}

bool holdsEnough(const Rect& monitor, int x, int y, WindowSize size) {
    return overlapOf(across(x, size), monitor.left, monitor.right) >= needed(size.width) &&
           overlapOf(down(y, size), monitor.top, monitor.bottom) >= needed(size.height);
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

int nearestMonitor(const Rect& window, std::span<const Rect> monitors) {
    const Span64 x{window.left, window.right}, y{window.top, window.bottom};
    int best = -1;
    double bestArea = 0.0, bestDistance = 0.0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const Rect& m = monitors[i];
        // Doubles: areas and squared distances of int rectangles overflow 64 bits.
        const double area = static_cast<double>(overlapOf(x, m.left, m.right)) *
                            static_cast<double>(overlapOf(y, m.top, m.bottom));
        const double dx = static_cast<double>(gapOf(x, m.left, m.right));
        const double dy = static_cast<double>(gapOf(y, m.top, m.bottom));
        const double distance = dx * dx + dy * dy;
        const bool better =
            best < 0 || (area > 0.0 ? area > bestArea : bestArea == 0.0 && distance < bestDistance);
        if (!better) continue;
        best = static_cast<int>(i);
        bestArea = area;
        bestDistance = distance;
    }
    return best;
}

Rect reachablePlacement(int x, int y, WindowSize size, std::span<const Rect> monitors) {
    for (const Rect& monitor : monitors)
        if (holdsEnough(monitor, x, y, size)) return reachablePlacement(x, y, size, monitor);
    const Rect wanted{x, y, saturated(std::int64_t{x} + size.width),
                      saturated(std::int64_t{y} + size.height)};
    const int nearest = nearestMonitor(wanted, monitors);
    if (nearest < 0) return wanted;
    return reachablePlacement(x, y, size, monitors[static_cast<std::size_t>(nearest)]);
}

} // namespace lumacore
