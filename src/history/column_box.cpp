#include "history/column_box.h"

#include <array>

#include "host/arith.h"

namespace lumacore {

void drawColumnBox(HistoryState& state, int x, int y, int height) {
    if (state.drawDC == nullptr) return;
    Surface& dc = *state.drawDC;

    // The front face is d pixels wide; the back edge lies d * skew to the right and one depth
    // step up, truncated like every other position.
    const int d = state.columnStep - 1;
    const double t = state.skewTangent;
    const double s = state.depthStep;
    const int x1 = truncToInt(x + d * t);
    const int y1 = truncToInt(y - s);
    const int y2 = truncToInt(y - s - height);
    const int x3 = truncToInt(x + d * t - d);
    const int top = y - height;

    const std::array<Point, 4> side{{{x, y}, {x1, y1}, {x1, y2}, {x, top}}};
    const std::array<Point, 4> front{{{x, y}, {x - d, y}, {x - d, top}, {x, top}}};
    const std::array<Point, 4> lid{{{x, top}, {x1, y2}, {x3, y2}, {x - d, top}}};
    dc.polygon(side);
    dc.polygon(front);
    dc.polygon(lid);
}

} // namespace lumacore
