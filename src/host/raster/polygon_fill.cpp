// The interior of a polygon under the alternate rule. Every shape can take the general path;
// shapes whose outline runs down once and up once (every convex one among them) have exactly two
// crossings on each row, and take a path that walks the two sides without sorting anything.
#include <algorithm>
#include <array>
#include <vector>

#include "host/raster/coverage.h"
#include "host/raster/span_fill.h"

namespace lumacore::coverage {
namespace {

using detail::ceilDiv;
using detail::fillColumn;
using detail::fillRun;
using detail::floorDiv;
using detail::i64;
using detail::prefetchRowsAhead;
using detail::runOnRows;

// Polygon coordinates are held within +-2^30 so that every product below fits in 64 bits;
// inside the range the platform honours (+-2^27) nothing changes.
Point clampForFill(Point p) {
    constexpr int kLimit = 1 << 30;
    return {std::clamp(p.x, -kLimit, kLimit), std::clamp(p.y, -kLimit, kLimit)};
}

// A small array on the stack for the usual handful of elements, on the heap beyond that.
template <typename T, std::size_t N> class SmallBuffer {
  public:
    explicit SmallBuffer(std::size_t size) {
        if (size > N) heap_.resize(size);
        span_ = size > N ? std::span<T>(heap_) : std::span<T>(inline_).first(size);
    }
    std::span<T> span() const { return span_; }

  private:
    std::array<T, N> inline_; // left uninitialised: every element is written before it is read
    std::vector<T> heap_;
    std::span<T> span_;
};

constexpr std::size_t kInline = 8;

// A polygon edge from its upper end; it covers the scanlines from its upper end to the one
// before its lower end. On scanline yTop + k its crossing is xTop + ceil(dx * k / dy), the
// first pixel centre at or right of the edge, stepped without division row by row.
struct Edge {
    i64 yTop, yEnd;
    i64 x;         // crossing on the current scanline
    i64 remainder; // (x - xTop) * dy - dx * k, kept in [0, dy)
    i64 dy, stepX, stepRemainder;
    bool down; // the outline runs down along it

    void advanceTo(i64 y) {
        const i64 k = y - yTop;
        const i64 dx = stepX * dy + stepRemainder;
        const i64 advance = ceilDiv(dx * k, dy);
        x += advance;
        remainder = advance * dy - dx * k;
    }
    void step() {
        x += stepX;
        remainder -= stepRemainder;
        if (remainder < 0) {
            ++x;
            remainder += dy;
        }
    }
    bool vertical() const { return stepX == 0 && stepRemainder == 0; }
};

// The outline's non-horizontal edges in path order, and the rows they span.
struct Edges {
    std::span<Edge> edges;
    i64 yMin = INT64_MAX, yMax = INT64_MIN;
};

Edges collectEdges(std::span<const Point> points, std::span<Edge> storage) {
    Edges out;
    std::size_t count = 0;
    Point previous = clampForFill(points.back());
    for (const Point raw : points) {
        const Point current = clampForFill(raw);
        const bool down = current.y > previous.y;
        const Point top = down ? previous : current;
        const Point bottom = down ? current : previous;
        previous = current;
        if (top.y == bottom.y) continue; // horizontal edges cross no scanline
        const i64 dx = i64{bottom.x} - top.x;
        const i64 dy = i64{bottom.y} - top.y;
        const i64 stepX = floorDiv(dx, dy);
        storage[count++] = {top.y, bottom.y, top.x, 0, dy, stepX, dx - stepX * dy, down};
        out.yMin = std::min<i64>(out.yMin, top.y);
        out.yMax = std::max<i64>(out.yMax, bottom.y);
    }
    out.edges = storage.first(count);
    return out;
}

// The rows of the bitmap a polygon spanning yMin..yMax-1 reaches: [from, to).
struct RowRange {
    i64 from, to;
};

RowRange visibleRows(const Bitmap& bitmap, const Edges& e) {
    const i64 from = std::max<i64>(e.yMin, 0);
    return {from, std::max(from, std::min<i64>(e.yMax, bitmap.height()))};
}

// The upright sides of an outline whose pen the two-sided fill writes on each row right after
// the row's span, instead of walking down the rows again for each. Column x (on the bitmap) gets
// the pen on rows [from, to), as a line of the outline would draw it.
struct UprightPen {
    std::ptrdiff_t x;
    i64 from, to;
};

struct UprightPens {
    static constexpr std::size_t kMost = 2;
    std::array<UprightPen, kMost> pens;
    std::size_t count = 0;
    std::uint32_t pixel = 0;

    std::span<const UprightPen> list() const { return std::span(pens).first(count); }
};

// The pens a stretch of rows gets after its span: N columns.
template <std::size_t N> struct RowPens {
    std::array<std::ptrdiff_t, N> x;
    std::uint32_t pixel;

    void put(std::uint32_t* row) const {
        for (const std::ptrdiff_t column : x)
            row[column] = pixel;
    }
};

// Rows first..end-1 between two edges: the half-open span between their crossings on each, then
// the row's pens.
template <std::size_t N>
void spanRows(Bitmap& bitmap, Edge& a, Edge& c, i64 first, i64 end, std::uint32_t brush,
              const RowPens<N>& pens) {
    std::uint32_t* row = bitmap.row(static_cast<int>(first));
    const std::ptrdiff_t stride = bitmap.stride();
    const i64 width = bitmap.width();
    if (a.vertical() && c.vertical()) {
        // Two upright sides: the same run on every row.
        const i64 left = std::max<i64>(std::min(a.x, c.x), 0);
        const i64 right = std::min<i64>(std::max(a.x, c.x), width);
        if constexpr (N == 0) {
            if (left < right) fillColumn(row + left, right - left, end - first, stride, brush);
        } else {
            const std::ptrdiff_t ahead = left < right ? left : pens.x[0];
            runOnRows(row, end - first, stride, left, right - left, ahead, brush,
                      [&pens](std::uint32_t* r) { pens.put(r); });
        }
        return;
    }
    Edge l = a; // kept in registers
    Edge r = c;
    for (i64 y = first; y < end; ++y) {
        const i64 left = std::max<i64>(std::min(l.x, r.x), 0);
        const i64 right = std::min<i64>(std::max(l.x, r.x), width);
        if (left < right) {
            prefetchRowsAhead(row + left, stride);
            fillRun(row + left, right - left, brush);
        }
        pens.put(row);
        l.step();
        r.step();
        if (y + 1 < end) row += stride;
    }
    a = l;
    c = r;
}

// Rows first..end-1 between two edges, split where an upright pen starts or stops.
void spanRowsWithPens(Bitmap& bitmap, Edge& a, Edge& c, i64 first, i64 end, std::uint32_t brush,
                      const UprightPens& pens) {
    for (i64 y = first; y < end;) {
        i64 stop = end;
        std::array<std::ptrdiff_t, UprightPens::kMost> active{};
        std::size_t count = 0;
        for (const UprightPen& pen : pens.list()) {
            if (pen.from > y) {
                stop = std::min(stop, pen.from);
            } else if (pen.to > y) {
                stop = std::min(stop, pen.to);
                active[count++] = pen.x;
            }
        }
        if (count == 0)
            spanRows<0>(bitmap, a, c, y, stop, brush, {{}, pens.pixel});
        else if (count == 1)
            spanRows<1>(bitmap, a, c, y, stop, brush, {{active[0]}, pens.pixel});
        else
            spanRows<2>(bitmap, a, c, y, stop, brush, {{active[0], active[1]}, pens.pixel});
        y = stop;
    }
}

// The next and previous index round a closed outline of n.
std::size_t following(std::size_t i, std::size_t n) {
    return i + 1 == n ? 0 : i + 1;
}
std::size_t preceding(std::size_t i, std::size_t n) {
    return i == 0 ? n - 1 : i - 1;
}

// Walks one side of a y-monotone outline: its edges in order of increasing y.
class Side {
  public:
    // `step` is +1 to follow the path, -1 to go against it, from edge `first`.
    Side(std::span<Edge> edges, std::size_t first, int step)
        : edges_(edges), index_(first), step_(step) {}
    Edge& edge() { return edges_[index_]; }
    void next() {
        index_ = step_ > 0 ? following(index_, edges_.size()) : preceding(index_, edges_.size());
    }
    // Moves to the edge that covers row y (the first row drawn) and onto that row.
    void startAt(i64 y) {
        while (edge().yEnd <= y)
            next();
        if (edge().yTop < y) edge().advanceTo(y);
    }

  private:
    std::span<Edge> edges_;
    std::size_t index_;
    int step_;
};

// The edge where the outline turns from going up to going down, when it does so exactly once
// (and so turns back exactly once): a y-monotone outline. Otherwise edges.size().
std::size_t monotoneStart(std::span<const Edge> edges) {
    const std::size_t n = edges.size();
    std::size_t turns = 0;
    std::size_t start = n;
    for (std::size_t i = 0; i < n; ++i) {
        const bool before = edges[preceding(i, n)].down;
        if (before == edges[i].down) continue;
        ++turns;
        if (edges[i].down) start = i;
    }
    return turns == 2 ? start : n;
}

// A y-monotone outline: every row it spans crosses exactly one edge of each side, so the span
// of the alternate rule lies between those two crossings. The upright pens go on with each row.
void fillMonotone(Bitmap& bitmap, std::span<Edge> edges, std::size_t start, RowRange rows,
                  std::uint32_t pixel, const UprightPens& pens) {
    Side down(edges, start, +1);
    Side up(edges, preceding(start, edges.size()), -1);
    down.startAt(rows.from);
    up.startAt(rows.from);
    for (i64 y = rows.from;;) {
        Edge& a = down.edge();
        Edge& c = up.edge();
        const i64 end = std::min({a.yEnd, c.yEnd, rows.to});
        spanRowsWithPens(bitmap, a, c, y, end, pixel, pens);
        y = end;
        if (y == rows.to) return;
        if (a.yEnd == y) down.next();
        if (c.yEnd == y) up.next();
    }
}

// Any outline: between two consecutive edge ends the set of crossing edges stays the same, and
// on each row the sorted crossings pair up into half-open spans.
void fillAlternate(Bitmap& bitmap, std::span<Edge> edges, RowRange rows, std::uint32_t pixel) {
    const std::size_t count = edges.size();
    for (Edge& e : edges)
        if (e.yTop < rows.from) e.advanceTo(rows.from); // edges from above start on the first row

    SmallBuffer<i64, 2 * kInline> breakBuffer(2 * count);
    const std::span<i64> breaks = breakBuffer.span();
    for (std::size_t i = 0; i < count; ++i) {
        breaks[2 * i] = std::clamp(edges[i].yTop, rows.from, rows.to);
        breaks[2 * i + 1] = std::clamp(edges[i].yEnd, rows.from, rows.to);
    }
    std::sort(breaks.begin(), breaks.end());

    SmallBuffer<Edge*, kInline> activeBuffer(count);
    SmallBuffer<i64, kInline> crossingBuffer(count);
    const std::span<i64> crossings = crossingBuffer.span();
    for (std::size_t b = 0; b + 1 < breaks.size(); ++b) {
        const i64 segmentTop = breaks[b];
        const i64 segmentEnd = breaks[b + 1];
        if (segmentTop == segmentEnd) continue;
        std::size_t activeCount = 0;
        for (Edge& e : edges)
            if (e.yTop <= segmentTop && e.yEnd >= segmentEnd)
                activeBuffer.span()[activeCount++] = &e;
        const std::span<Edge*> active = activeBuffer.span().first(activeCount);
        if (activeCount == 2) {
            spanRows<0>(bitmap, *active[0], *active[1], segmentTop, segmentEnd, pixel, {{}, 0});
            continue;
        }

        std::uint32_t* row = bitmap.row(static_cast<int>(segmentTop));
        const std::ptrdiff_t stride = bitmap.stride();
        const i64 width = bitmap.width();
        for (i64 y = segmentTop;; ++y) {
            for (std::size_t i = 0; i < activeCount; ++i)
                crossings[i] = active[i]->x;
            std::sort(crossings.begin(),
                      crossings.begin() + static_cast<std::ptrdiff_t>(activeCount));
            for (std::size_t i = 0; i + 1 < activeCount; i += 2) {
                const i64 left = std::max<i64>(crossings[i], 0);
                const i64 right = std::min<i64>(crossings[i + 1], width);
                if (left < right) std::fill(row + left, row + right, pixel);
            }
            for (Edge* e : active)
                e->step();
            if (y + 1 == segmentEnd) break;
            row += stride;
        }
    }
}

enum class FillPath { Any, General };

// Fills the interior; returns the rows on which it also drew the upright pens (none when the
// outline took the general path or left the bitmap's rows).
RowRange fill(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel, FillPath path,
              const UprightPens& pens) {
    constexpr RowRange kNoRows{0, 0};
    if (points.size() < 2 || bitmap.width() == 0) return kNoRows;
    SmallBuffer<Edge, kInline> storage(points.size());
    const Edges outline = collectEdges(points, storage.span());
    if (outline.edges.empty()) return kNoRows;
    const RowRange rows = visibleRows(bitmap, outline);
    if (rows.from == rows.to) return kNoRows;
    const std::size_t start =
        path == FillPath::Any ? monotoneStart(outline.edges) : outline.edges.size();
    if (start == outline.edges.size()) {
        fillAlternate(bitmap, outline.edges, rows, pixel);
        return kNoRows;
    }
    fillMonotone(bitmap, outline.edges, start, rows, pixel, pens);
    return rows;
}

bool upright(Point from, Point to) {
    return from.x == to.x && from.y != to.y;
}

// The outline's upright segments as pens, when there are few enough to go with the fill; a line
// from `from` to `to` covers its start and stops before its end, in either direction.
UprightPens uprightPens(const Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel) {
    UprightPens pens;
    pens.pixel = pixel;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point from = points[i];
        const Point to = points[following(i, points.size())];
        if (!upright(from, to)) continue;
        if (pens.count == UprightPens::kMost) return {};
        UprightPen& pen = pens.pens[pens.count++];
        pen.x = from.x;
        pen.from = from.y < to.y ? from.y : i64{to.y} + 1;
        pen.to = from.y < to.y ? to.y : i64{from.y} + 1;
        if (from.x < 0 || from.x >= bitmap.width()) pen.from = pen.to = 0; // draws nothing
    }
    return pens;
}

} // namespace

void fillPolygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel) {
    fill(bitmap, points, pixel, FillPath::Any, {});
}

void fillPolygonGeneral(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel) {
    fill(bitmap, points, pixel, FillPath::General, {});
}

void polygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t brush,
             std::uint32_t pen) {
    if (points.size() < 2) return;
    const UprightPens pens = uprightPens(bitmap, points, pen);
    const RowRange drawn = fill(bitmap, points, brush, FillPath::Any, pens);
    const bool penned = pens.count > 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const Point from = points[i];
        const Point to = points[following(i, points.size())];
        if (!(penned && upright(from, to))) line(bitmap, from, to, pen);
    }
    // What the fill's rows did not reach of the upright pens.
    for (const UprightPen& p : pens.list()) {
        const i64 x = p.x;
        fillRect(bitmap, x, p.from, x + 1, std::min(p.to, drawn.from), pen);
        fillRect(bitmap, x, std::max(p.from, drawn.to), x + 1, p.to, pen);
    }
}

} // namespace lumacore::coverage
