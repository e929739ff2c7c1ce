#include "scope/oscilloscope.h"

namespace lumacore {

int oscilloscopeRender(Surface& dc, const winampVisModule& module) {
    dc.setBrush(kOscilloscopeBackground);
    dc.rectangle(0, 0, kScopeColumns, 256);
    // Only the two rows that exist are drawn, whatever channel count the player claims.
    const int rows = module.nCh < 0 ? 0 : (module.nCh > 2 ? 2 : module.nCh);
    for (int c = 0; c < rows; ++c) {
        const int centre = 64 + 128 * c;
        for (int j = 0; j < kScopeColumns; ++j) {
            dc.moveTo(j, centre);
            const int s = sampleAt(module, c, j);
            dc.setPen(oscilloscopeColour(s));
            dc.lineTo(j, centre + s);
        }
    }
    return 0;
}

} // namespace lumacore
