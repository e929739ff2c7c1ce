// Where a new top-level window is created when its stored placement comes from a settings file
// that may hold anything: sizes that are not positive or beyond what a window can have, and
// positions that would put the whole window off every monitor where nobody can reach it.
#pragma once

#include <span>

#include "host/colour.h"

namespace lumacore {

struct WindowSize {
    int width = 0;
    int height = 0;
    friend constexpr bool operator==(WindowSize, WindowSize) = default;
};

// How much of a window, across and down, stays on the screen at least (all of a smaller one).
inline constexpr int kReachableExtent = 32;

// The outer size to create: each side that is not positive takes the fallback's side, each side
// beyond `largest` is cut to it; every size in between is kept as it is.
WindowSize creationSize(WindowSize stored, WindowSize fallback, WindowSize largest);

// The outer rectangle of a window of `size` wanted at (x, y), moved as little as needed so that
// at least kReachableExtent pixels of it across and down (or all of it, if smaller) lie within
// `screen`; a window already that far on the screen stays exactly where it was wanted. The
// right and bottom edges saturate rather than overflow.
Rect reachablePlacement(int x, int y, WindowSize size, const Rect& screen);

// The same on a desktop of several monitors: the window stays exactly where it was wanted when
// one monitor holds enough of it as above; otherwise it is moved as little as needed onto the
// monitor nearest to it (the one sharing the largest area with it, or else the closest). Where
// the monitors leave a gap, a window in the gap is not reachable. No monitors: kept as wanted.
Rect reachablePlacement(int x, int y, WindowSize size, std::span<const Rect> monitors);

// The index in `monitors` of the one nearest to `window`, as above; the first of equals. -1 for
// an empty list.
int nearestMonitor(const Rect& window, std::span<const Rect> monitors);

} // namespace lumacore
