// Where a new top-level window is created when its stored placement comes from a settings file
// that may hold anything: sizes that are not positive or beyond what a window can have, and
// positions that would put the whole window off every screen where nobody can reach it.
#pragma once

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

} // namespace lumacore
