#include "scope/vu_meter.h"

#include <cstdlib>

namespace lumacore {

int vuLevel(const winampVisModule& module, int row) {
    int sum = 0;
    for (int i = 0; i < kSamplesPerChannel; ++i)
        sum += std::abs(sampleAt(module, row, i));
    const int level = sum / 100;
    return level > 127 ? 127 : level;
}

int vuMeterRender(ScopeState& state, Surface& dc, const winampVisModule& module) {
    // A cursor out of its range (it never is, short of memory corruption) starts again at 0.
    if (state.vuCursor < 0 || state.vuCursor >= kVuPositions) state.vuCursor = 0;
    const int x = state.vuCursor;
    dc.setPen(kScopeGrey);
    dc.moveTo(x, 0);
    dc.lineTo(x, 256);
    dc.setPixel(x, 128, kBlack);
    dc.setPixel(x, 256, kBlack);
    for (int c = 0; c < 2; ++c) {
        const int level = vuLevel(module, c);
        const int base = c == 0 ? 128 : 256;
        dc.setPen(vuColour(level));
        dc.moveTo(x, base);
        dc.lineTo(x, base - level);
    }
    if (++state.vuCursor > kVuPositions - 1) state.vuCursor = 0;
    return 0;
}

} // namespace lumacore
