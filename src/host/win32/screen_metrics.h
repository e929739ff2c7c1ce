// The screen as the window placement rules see it: the rectangle spanning every monitor, and the
// largest outer size the system lets a sizable window take.
#pragma once

#include "host/colour.h"
#include "host/window_placement.h"

namespace lumacore {

// The virtual screen: the bounding rectangle of all monitors, in screen coordinates.
Rect virtualScreen();

// The system's maximum tracking size of a window (SM_CXMAXTRACK, SM_CYMAXTRACK).
WindowSize largestWindowSize();

} // namespace lumacore
