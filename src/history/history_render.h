// The spectrum-history frame: scroll the picture one step left and, when a column is due, draw
// the newest spectrum at the right edge as coloured bands (2D) or shaded boxes (3D).
#pragma once

#include "history/history_state.h"

namespace lumacore {

// Renders one frame of `module`'s spectrum on state.drawDC; always returns 0.
int historyRender(HistoryState& state, const winampVisModule& module);

// The player's Render callback of module 0, on this load's state.
int historyRender(winampVisModule* module);

} // namespace lumacore
