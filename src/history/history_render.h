// The spectrum-history frame: scroll the picture one step left and, when a column is due, draw
// the newest spectrum at the right edge as coloured bands (2D) or shaded boxes (3D).
#pragma once

#include "history/history_state.h"

namespace lumacore {

// The intensity of a bin at `level` (boosted for higher bins, scaled by the brightness, at most
// 245) and its fill colour from the palette.
struct BinShade {
    int intensity = 0;
    int red = 0;
    int green = 0;
    int blue = 0;
};
BinShade binShade(const HistoryState& state, int bin, int level);

// Where the 3D box of a bin stands: the bottom-right corner of its front face and its height.
struct BoxPlacement {
    int x = 0;
    int y = 0;
    int height = 0;
};
BoxPlacement boxPlacement(const HistoryState& state, int bin, int intensity);

// The rectangle of a bin's 2D band in the rightmost strip.
Rect bandRect(const HistoryState& state, int bin);

// Renders one frame of `module`'s spectrum on state.drawDC; always returns 0.
int historyRender(HistoryState& state, const winampVisModule& module);

// The player's Render callback of module 0, on this load's state.
int historyRender(winampVisModule* module);

} // namespace lumacore
