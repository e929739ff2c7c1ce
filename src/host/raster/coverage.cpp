#include "host/raster/coverage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/raster/span_fill.h"

namespace lumacore::coverage {
namespace {

using detail::ceilDiv;
using detail::fillColumn;
using detail::i64;

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

// Narrows the steps [first, last] of a sloped line to those whose pixel lies on the bitmap;
// false when none does. minorAt is non-decreasing in the step, so each end is a binary search.
template <typename MinorAt>
bool clipSteps(i64 majorStart, int majorStep, i64 majorSize, i64 minorStart, int minorStep,
               i64 minorSize, i64 major, const MinorAt& minorAt, i64& first, i64& last) {
    i64 kLo, kHi, nLo, nHi;
    axisRange(majorStart, majorStep, majorSize, kLo, kHi);
    axisRange(minorStart, minorStep, minorSize, nLo, nHi);
    kLo = std::max<i64>(kLo, 0);
    kHi = std::min<i64>(kHi, major - 1);
    if (kLo > kHi) return false;

    i64 lo = kLo, hi = kHi + 1;
    while (lo < hi) {
        const i64 mid = lo + (hi - lo) / 2;
        if (minorAt(mid) >= nLo)
            hi = mid;
        else
            lo = mid + 1;
    }
    first = lo;
    hi = kHi + 1;
    while (lo < hi) {
        const i64 mid = lo + (hi - lo) / 2;
        if (minorAt(mid) > nHi)
            hi = mid;
        else
            lo = mid + 1;
    }
    last = lo - 1;
    return first <= last;
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

    // A line whose ends both lie on the bitmap needs no clipping.
    i64 first = 0, last = major - 1;
    const bool onBitmap = bitmap.contains(p1.x, p1.y) && bitmap.contains(p2.x, p2.y);
    if (!onBitmap) {
        const i64 majorSize = s.xMajor ? bitmap.width() : bitmap.height();
        const i64 minorSize = s.xMajor ? bitmap.height() : bitmap.width();
        if (!clipSteps(majorStart, majorStep, majorSize, minorStart, minorStep, minorSize, major,
                       minorAt, first, last))
            return;
    }

    // Step from the first visible pixel; `slack` is how far the error term may still grow before
    // the minor axis steps (0 <= slack < 2 * major).
    const i64 n = minorAt(first);
    i64 slack = 2 * major * n - (2 * first * minor + s.bias - major);
    const i64 x = s.xMajor ? majorStart + first * majorStep : minorStart + n * minorStep;
    const i64 y = s.xMajor ? minorStart + n * minorStep : majorStart + first * majorStep;
    const std::ptrdiff_t stride = bitmap.stride();
    const std::ptrdiff_t majorAdvance = s.xMajor ? majorStep : majorStep * stride;
    const std::ptrdiff_t minorAdvance = s.xMajor ? minorStep * stride : minorStep;
    std::uint32_t* p = bitmap.row(static_cast<int>(y)) + x;
    for (i64 k = first;; ++k) {
        *p = pixel;
        if (k == last) break;
        slack -= 2 * minor;
        if (slack < 0) {
            slack += 2 * major;
            p += minorAdvance;
        }
        p += majorAdvance;
    }
}

} // namespace

void fillRect(Bitmap& bitmap, i64 left, i64 top, i64 right, i64 bottom, std::uint32_t pixel) {
    left = std::max<i64>(left, 0);
    top = std::max<i64>(top, 0);
    right = std::min<i64>(right, bitmap.width());
    bottom = std::min<i64>(bottom, bitmap.height());
    if (left >= right || top >= bottom) return;
    const std::ptrdiff_t stride = bitmap.stride();
    const std::ptrdiff_t width = right - left;
    fillColumn(bitmap.row(static_cast<int>(top)) + left, width, bottom - top, stride, pixel);
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

namespace {

std::uint32_t mixChannel(std::uint32_t under, std::uint32_t over, std::uint32_t alpha, int shift) {
    const std::uint32_t a = (under >> shift) & 0xFF;
    const std::uint32_t b = (over >> shift) & 0xFF;
    return ((a * (255 - alpha) + b * alpha + 127) / 255) << shift;
}

} // namespace

void blendMask(Bitmap& bitmap, i64 left, i64 top, int width, int height,
               const std::vector<std::uint8_t>& mask, std::uint32_t pixel) {
    if (width <= 0 || height <= 0 ||
        mask.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height))
        return;
    const i64 x0 = std::max<i64>(left, 0);
    const i64 y0 = std::max<i64>(top, 0);
    const i64 x1 = std::min<i64>(left + width, bitmap.width());
    const i64 y1 = std::min<i64>(top + height, bitmap.height());
    for (i64 y = y0; y < y1; ++y) {
        const std::uint8_t* cover = mask.data() + (y - top) * width + (x0 - left);
        std::uint32_t* p = bitmap.row(static_cast<int>(y)) + x0;
        for (i64 x = x0; x < x1; ++x, ++p, ++cover) {
            const std::uint32_t alpha = *cover;
            if (alpha == 255)
                *p = pixel;
            else if (alpha != 0)
                *p = mixChannel(*p, pixel, alpha, 24) | mixChannel(*p, pixel, alpha, 16) |
                     mixChannel(*p, pixel, alpha, 8) | mixChannel(*p, pixel, alpha, 0);
        }
    }
}

} // namespace lumacore::coverage
