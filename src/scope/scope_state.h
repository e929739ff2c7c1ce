// The scope window's state, shared by the oscilloscope and the VU meter: one saved position and
// one window between them, and the VU meter's column cursor.
#pragma once

#include "host/vis_module.h"

namespace lumacore {

struct ScopeState {
    int screenX = 50; // outer left edge of the window, screen coordinates
    int screenY = 50; // outer top edge
    WindowHandle scopeWindow = nullptr;
    int vuCursor = 0; // the VU meter's next column, 0..288; never reset while loaded
};

// The record of this load of the library.
ScopeState& scopeState();

} // namespace lumacore
