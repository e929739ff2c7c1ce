// A window's outer rectangle as its user placed it: while the window is minimised, the rectangle
// it will be restored to, not the small one the system parks it in.
#pragma once

#include <windows.h>

#include "host/colour.h"

namespace lumacore {

// GetWindowRect for a window that is not minimised; for a minimised one, its normal
// (restored) position from GetWindowPlacement, in screen coordinates.
Rect restoredWindowRect(HWND window);

} // namespace lumacore
