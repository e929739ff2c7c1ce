// The hue palette of the spectrum-history display: a piecewise-linear colour wheel from red
// through yellow, green, cyan, blue and magenta back to red, sampled into 256 entries.
#pragma once

#include "history/history_state.h"

namespace lumacore {

// The wheel colour of `hue` (0..240 and beyond), lifted to at least `base` and scaled by
// `scale`/255 (scale capped at 255); int arithmetic throughout.
Colour hueColour(int hue, int base, int scale);

// Fills all 256 palette entries: entry k takes hue 250 * k / 256.
void buildPalette(HistoryState& state);

} // namespace lumacore
