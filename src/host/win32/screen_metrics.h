// The screen as the window placement rules see it: the monitors and the rectangle spanning them,
// and the largest outer size the system lets a sizable window take.
#pragma once

#include <vector>

#include "host/colour.h"
#include "host/window_placement.h"

namespace lumacore {

// The virtual screen: the bounding rectangle of all monitors, in screen coordinates.
Rect virtualScreen();

// Every monitor's rectangle in screen coordinates, the primary one first; the virtual screen
// alone when the system lists none.
std::vector<Rect> monitorRects();

// The system's maximum tracking size of a window (SM_CXMAXTRACK, SM_CYMAXTRACK).
WindowSize largestWindowSize();

} // namespace lumacore
