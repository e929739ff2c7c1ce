#include "host/raster/coverage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumacore::coverage {
namespace {

using i64 = std::int64_t;

// Division rounding toward minus and plus infinity (the divisor is positive).
i64 floorDiv(i64 a, i64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
i64 ceilDiv(i64 a, i64 b) {
    return -floorDiv(-a, b);
}

void fillSpan(Bitmap& bitmap, i64 y, i64 left, i64 right, std::uint32_t pixel) {
    left = std::max<i64>(left, 0);
    right = std::min<i64>(right, bitmap.width());
    if (y < 0 || y >= bitmap.height() || left >= right) return;
    std::uint32_t* row = bitmap.row(static_cast<int>(y));
    std::fill(row + left, row + right, pixel);
}

// Sloped lines: the points of a line whose end lies 2^28 or more from the origin are divided by
// eight before it is stepped, as the platform's DIB engine does; this also keeps every product
// below within 64 bits.
Point reduceFarPoint(Point p) {
    constexpr int kFar = 0x10000000;
    if (p.x >= kFar || p.x <= -kFar || p.y >= kFar || p.y <= -kFar) {
        p.x /= 8;
        p.y /= 8;
    }
    return p;
}

// Octants are numbered clockwise from the positive x axis (y grows downwards); the direction of
// a line picks its major axis, its steps and the tie-break bias of the error term.
struct Stepping {
    bool xMajor;
    int bias; // octants 3, 5, 6 and 8 step the minor axis one pixel later on a tie
    int xStep;
    int yStep;
};

Stepping steppingFor(i64 dx, i64 dy) {
    int octant;
    if (dy > 0)
        octant = dx > 0 ? (dx > dy ? 1 : 2) : (-dx > dy ? 4 : 3);
    else
        octant = dx < 0 ? (-dx > -dy ? 5 : 6) : (dx > -dy ? 8 : 7);
    const bool xMajor = octant == 1 || octant == 4 || octant == 5 || octant == 8;
    const int bias = (octant == 3 || octant == 5 || octant == 6 || octant == 8) ? 1 : 0;
    const int xStep = (octant == 1 || octant == 2 || octant == 7 || octant == 8) ? 1 : -1;
    const int yStep = octant <= 4 ? 1 : -1;
    return {xMajor, bias, xStep, yStep};
}

// Range of k with start + k * step inside [0, size).
void axisRange(i64 start, int step, i64 size, i64& lo, i64& hi) {
    if (step > 0) {
        lo = -start;
        hi = size - 1 - start;
    } else {
        lo = start - (size - 1);
        hi = start;
    }
}

void steppedLine(Bitmap& bitmap, Point from, Point to, std::uint32_t pixel) {
    const Point p1 = reduceFarPoint(from);
    const Point p2 = reduceFarPoint(to);
    const i64 dx = i64{p2.x} - p1.x;
    const i64 dy = i64{p2.y} - p1.y;
    const Stepping s = steppingFor(dx, dy);

    // Along the major axis the line takes `major` pixels (the end point excluded); pixel k sits
    // `minorAt(k)` pixels along the minor axis, the Bresenham choice with the octant's bias.
    const i64 major = s.xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    const i64 minor = s.xMajor ? (dy < 0 ? -dy : dy) : (dx < 0 ? -dx : dx);
    if (major == 0) return;
    auto minorAt = [&](i64 k) { return ceilDiv(2 * k * minor + s.bias - major, 2 * major); };

    const i64 majorStart = s.xMajor ? p1.x : p1.y;
    const i64 minorStart = s.xMajor ? p1.y : p1.x;
    const int majorStep = s.xMajor ? s.xStep : s.yStep;
    const int minorStep = s.xMajor ? s.yStep : s.xStep;
    const i64 majorSize = s.xMajor ? bitmap.width() : bitmap.height();
    const i64 minorSize = s.xMajor ? bitmap.height() : bitmap.width();

    i64 kLo, kHi, nLo, nHi;
    axisRange(majorStart, majorStep, majorSize, kLo, kHi);
    axisRange(minorStart, minorStep, minorSize, nLo, nHi);
    kLo = std::max<i64>(kLo, 0);
    kHi = std::min<i64>(kHi, major - 1);
    if (kLo > kHi) return;

    // minorAt is non-decreasing in k: find the first k at or past nLo and the last at or before
    // nHi.
    i64 lo = kLo, hi = kHi + 1;
    while (lo < hi) {
        const i64 mid = lo + (hi - lo) / 2;
        if (minorAt(mid) >= nLo)
            hi = mid;
        else
            lo = mid + 1;
    }
    const i64 first = lo;
    lo = first;
    hi = kHi + 1;
    while (lo < hi) {
        const i64 mid = lo + (hi - lo) / 2;
        if (minorAt(mid) > nHi)
            hi = mid;
        else
            lo = mid + 1;
    }
    const i64 last = lo - 1;

    i64 n = first <= last ? minorAt(first) : 0;
    i64 numerator = 2 * first * minor + s.bias - major;
    for (i64 k = first; k <= last; ++k) {
        while (numerator > 2 * major * n)
            ++n;
        const i64 a = majorStart + k * majorStep;
        const i64 b = minorStart + n * minorStep;
        const i64 x = s.xMajor ? a : b;
        const i64 y = s.xMajor ? b : a;
        bitmap.row(static_cast<int>(y))[x] = pixel;
        numerator += 2 * minor;
    }
}

// Polygon coordinates are held within +-2^30 so that every product below fits in 64 bits;
// inside the range the platform honours (+-2^27) nothing changes.
Point clampForFill(Point p) {
    constexpr int kLimit = 1 << 30;
    return {std::clamp(p.x, -kLimit, kLimit), std::clamp(p.y, -kLimit, kLimit)};
}

} // namespace

void fillRect(Bitmap& bitmap, i64 left, i64 top, i64 right, i64 bottom, std::uint32_t pixel) {
    top = std::max<i64>(top, 0);
    bottom = std::min<i64>(bottom, bitmap.height());
    for (i64 y = top; y < bottom; ++y)
        fillSpan(bitmap, y, left, right, pixel);
}

void line(Bitmap& bitmap, Point from, Point to, std::uint32_t pixel) {
    // Horizontal and vertical lines cover the start and stop before the end, in either direction.
    if (from.y == to.y) {
        if (from.x <= to.x)
            fillRect(bitmap, from.x, from.y, to.x, i64{from.y} + 1, pixel);
        else
            fillRect(bitmap, i64{to.x} + 1, from.y, i64{from.x} + 1, i64{from.y} + 1, pixel);
        return;
    }
    if (from.x == to.x) {
        if (from.y <= to.y)
            fillRect(bitmap, from.x, from.y, i64{from.x} + 1, to.y, pixel);
        else
            fillRect(bitmap, from.x, i64{to.y} + 1, i64{from.x} + 1, i64{from.y} + 1, pixel);
        return;
    }
    steppedLine(bitmap, from, to, pixel);
}

void fillPolygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel) {
    if (points.size() < 2 || bitmap.width() == 0) return;

    // Every non-horizontal edge, from its upper end; it covers the scanlines from its upper end
    // to the one before its lower end. On scanline y its crossing is xTop + ceil(dx * k / dy),
    // k = y - yTop: the first pixel centre inside the edge.
    struct Edge {
        i64 xTop, yTop, yEnd, dx, dy;
    };
    std::vector<Edge> edges;
    edges.reserve(points.size());
    i64 yMin = INT64_MAX, yMax = INT64_MIN;
    Point previous = clampForFill(points.back());
    for (const Point raw : points) {
        const Point current = clampForFill(raw);
        const Point top = previous.y > current.y ? current : previous;
        const Point bottom = previous.y > current.y ? previous : current;
        previous = current;
        if (top.y == bottom.y) continue;
        edges.push_back({top.x, top.y, bottom.y, i64{bottom.x} - top.x, i64{bottom.y} - top.y});
        yMin = std::min<i64>(yMin, top.y);
        yMax = std::max<i64>(yMax, bottom.y);
    }
    if (edges.empty()) return;

    // Alternate rule: on each scanline the sorted crossings pair up into half-open spans.
    std::vector<i64> crossings;
    crossings.reserve(edges.size());
    const i64 yFrom = std::max<i64>(yMin, 0);
    const i64 yTo = std::min<i64>(yMax, bitmap.height());
    for (i64 y = yFrom; y < yTo; ++y) {
        crossings.clear();
        for (const Edge& e : edges) {
            if (y < e.yTop || y >= e.yEnd) continue;
            crossings.push_back(e.xTop + ceilDiv(e.dx * (y - e.yTop), e.dy));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            fillSpan(bitmap, y, crossings[i], crossings[i + 1], pixel);
    }
}

void scroll(Bitmap& bitmap, int width, int height, int dx) {
    if (width <= 0 || height <= 0) return;
    const i64 first = std::max<i64>(0, -i64{dx});
    const i64 end = std::min({i64{width}, i64{bitmap.width()}, i64{bitmap.width()} - dx});
    const int rows = std::min(height, bitmap.height());
    if (first >= end) return;
    const std::size_t bytes = static_cast<std::size_t>(end - first) * sizeof(std::uint32_t);
    for (int y = 0; y < rows; ++y) {
        std::uint32_t* row = bitmap.row(y);
        std::memmove(row + first, row + first + dx, bytes);
    }
}

} // namespace lumacore::coverage
