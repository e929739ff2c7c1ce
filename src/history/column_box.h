// One bin of a 3D column: a box seen slightly from above and from the right, drawn as its side,
// front and top faces in the pen and brush the renderer has selected.
#pragma once

#include "history/history_state.h"

namespace lumacore {

// (x, y) is the bottom-right corner of the front face, height its height in pixels.
void drawColumnBox(HistoryState& state, int x, int y, int height);

} // namespace lumacore
