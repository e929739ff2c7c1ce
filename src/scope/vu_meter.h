// The VU meter: a chart recorder that draws one column per call at its cursor: a grey erase
// line, two black baseline marks and a bar per channel as high as the channel's level.
#pragma once

#include "host/surface.h"
#include "host/vis_module.h"
#include "scope/scope_state.h"

namespace lumacore {

inline constexpr Colour kScopeGrey = 8355711; // 0x7F7F7F
inline constexpr int kVuPositions = 289;      // columns 0..288

// The level of a row: the sum of its 576 sample magnitudes divided by 100, at most 127.
int vuLevel(const winampVisModule& module, int row);

// The bar colour of a level: red = green = 4L, blue = 2L, each modulo 256.
constexpr Colour vuColour(int level) {
    return rgb((4 * level) & 0xFF, (4 * level) & 0xFF, (2 * level) & 0xFF);
}

// Draws the column at state.vuCursor on `dc` and moves the cursor on; always returns 0.
int vuMeterRender(ScopeState& state, Surface& dc, const winampVisModule& module);

} // namespace lumacore
