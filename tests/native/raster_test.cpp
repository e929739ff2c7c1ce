// The software rasteriser's coverage rules, case by case. Agreement with real GDI over thousands
// of random primitives is the Wine fidelity suite's job; these cases pin the rules themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "host/raster/coverage.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

constexpr Colour kPaper = rgb(1, 2, 3);
constexpr Colour kInk = rgb(200, 10, 10);
constexpr Colour kFill = rgb(10, 200, 10);

using Cells = std::set<std::pair<int, int>>;

// The cells of the bitmap that hold `colour`.
Cells cellsOf(const Bitmap& bitmap, Colour colour) {
    Cells cells;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            if (bitmap.colourAt(x, y) == colour) cells.insert({x, y});
    return cells;
}

Cells rectCells(int left, int top, int right, int bottom) {
    Cells cells;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            cells.insert({x, y});
    return cells;
}

Cells minus(Cells a, const Cells& b) {
    for (const auto& cell : b)
        a.erase(cell);
    return a;
}

struct Canvas {
    Bitmap bitmap;
    RasterSurface surface;
    Canvas(int w, int h) : bitmap(w, h), surface(bitmap) {
        bitmap.fill(kPaper);
        surface.setPen(kInk);
        surface.setBrush(kFill);
    }
};

TEST(RasterSurface, FreshSurfaceHasABlackPenAtTheOrigin) {
    Bitmap bitmap(4, 4);
    bitmap.fill(kPaper);
    RasterSurface surface(bitmap);
    EXPECT_EQ(surface.state().pen, kBlack);
    EXPECT_EQ(surface.state().brush, kWhite);
    surface.lineTo(3, 0);
    EXPECT_EQ(cellsOf(bitmap, kBlack), (Cells{{0, 0}, {1, 0}, {2, 0}}));
}

TEST(Rectangle, CoversLeftToRightMinusOneAndTopToBottomMinusOne) {
    const struct {
        int left, top, right, bottom;
    } cases[] = {{2, 3, 7, 8}, {7, 8, 2, 3}, {7, 3, 2, 8}}; // corners in any order
    for (const auto& c : cases) {
        Canvas canvas(10, 10);
        canvas.surface.rectangle(c.left, c.top, c.right, c.bottom);
        const Cells all = rectCells(2, 3, 7, 8);
        const Cells interior = rectCells(3, 4, 6, 7);
        EXPECT_EQ(cellsOf(canvas.bitmap, kFill), interior);
        EXPECT_EQ(cellsOf(canvas.bitmap, kInk), minus(all, interior));
        EXPECT_EQ(cellsOf(canvas.bitmap, kPaper).size(), 100u - all.size());
    }
}

TEST(Rectangle, DegenerateSizes) {
    const struct {
        int left, top, right, bottom;
        Cells ink;
    } cases[] = {
        {3, 3, 3, 8, {}},                    // no width: nothing at all
        {3, 3, 8, 3, {}},                    // no height: nothing at all
        {3, 3, 4, 4, {}},                    // one cell: its outline has no length
        {3, 3, 4, 6, rectCells(3, 3, 4, 6)}, // one column: all outline
        {3, 3, 5, 5, rectCells(3, 3, 5, 5)}, // two by two: all outline
        {-5, -5, 2, 2, minus(rectCells(0, 0, 2, 2), {{0, 0}})}, // clipped at the top-left
    };
    for (const auto& c : cases) {
        Canvas canvas(10, 10);
        canvas.surface.rectangle(c.left, c.top, c.right, c.bottom);
        EXPECT_EQ(cellsOf(canvas.bitmap, kInk), c.ink) << c.left << "," << c.top;
    }
}

TEST(LineTo, ExcludesTheEndPointAndMovesThePosition) {
    const struct {
        Point from, to;
        Cells cells;
    } cases[] = {
        {{1, 1}, {5, 1}, {{1, 1}, {2, 1}, {3, 1}, {4, 1}}},
        {{5, 1}, {1, 1}, {{5, 1}, {4, 1}, {3, 1}, {2, 1}}},
        {{2, 0}, {2, 3}, {{2, 0}, {2, 1}, {2, 2}}},
        {{2, 3}, {2, 0}, {{2, 3}, {2, 2}, {2, 1}}},
        {{3, 3}, {3, 3}, {}},
        // Sloped lines choose the same middle cells in both directions (the octant bias).
        {{0, 0}, {4, 2}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {{4, 2}, {0, 0}, {{4, 2}, {3, 1}, {2, 1}, {1, 0}}},
        {{0, 0}, {3, 3}, {{0, 0}, {1, 1}, {2, 2}}},
    };
    for (const auto& c : cases) {
        Canvas canvas(8, 8);
        canvas.surface.moveTo(c.from.x, c.from.y);
        canvas.surface.lineTo(c.to.x, c.to.y);
        EXPECT_EQ(cellsOf(canvas.bitmap, kInk), c.cells) << c.to.x << "," << c.to.y;
        EXPECT_EQ(canvas.surface.state().position, c.to);
    }
}

// The rasteriser clips sloped lines analytically; it must pick exactly the cells that stepping
// the whole line one cell at a time (the rule itself) would leave on the surface.
Cells steppedLine(Point from, Point to, int w, int h) {
    const long dx = to.x - from.x, dy = to.y - from.y;
    const long ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool xMajor = ax > ay;
    // The tie-break bias applies when the minor axis steps towards smaller coordinates.
    const bool bias = xMajor ? dy < 0 : dx < 0;
    const long major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    Cells cells;
    long err = 2 * minor - major;
    long x = from.x, y = from.y;
    for (long k = 0; k < major; ++k) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            cells.insert({static_cast<int>(x), static_cast<int>(y)});
        if (err + (bias ? 1 : 0) > 0) {
            (xMajor ? y : x) += xMajor ? sy : sx;
            err += 2 * minor - 2 * major;
        } else {
            err += 2 * minor;
        }
        (xMajor ? x : y) += xMajor ? sx : sy;
    }
    return cells;
}

TEST(LineTo, ClippingKeepsExactlyTheCellsOfTheWholeLine) {
    for (int i = 0; i < 400; ++i) {
        const Point from{(i * 37) % 301 - 150, (i * 53) % 287 - 140};
        const Point to{(i * 71) % 311 - 150, (i * 29) % 293 - 140};
        if (from.x == to.x || from.y == to.y) continue;
        Canvas canvas(24, 17);
        canvas.surface.moveTo(from.x, from.y);
        canvas.surface.lineTo(to.x, to.y);
        EXPECT_EQ(cellsOf(canvas.bitmap, kInk), steppedLine(from, to, 24, 17))
            << from.x << "," << from.y << " -> " << to.x << "," << to.y;
    }
}

TEST(LineTo, ExtremeCoordinatesStayOnTheSurface) {
    const int extremes[] = {INT_MIN, INT_MIN + 1, -1000000000, -5, 0, 5, 1000000000, INT_MAX};
    Canvas canvas(16, 9);
    for (const int a : extremes)
        for (const int b : extremes)
            for (const int c : extremes) {
                canvas.surface.moveTo(a, b);
                canvas.surface.lineTo(c, a);
                canvas.surface.rectangle(a, c, b, a);
                const Point quad[] = {{a, b}, {b, c}, {c, a}, {4, 4}};
                canvas.surface.polygon(quad);
            }
    // A horizontal line across the whole int range covers the whole row.
    Canvas row(16, 9);
    row.surface.moveTo(INT_MIN, 4);
    row.surface.lineTo(INT_MAX, 4);
    EXPECT_EQ(cellsOf(row.bitmap, kInk), rectCells(0, 4, 16, 5));
}

TEST(Polygon, FillsThenOutlines) {
    Canvas canvas(10, 10);
    const Point square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
    canvas.surface.polygon(square);
    // The outline runs through all four corners; the fill shows strictly inside.
    EXPECT_EQ(cellsOf(canvas.bitmap, kFill), rectCells(3, 3, 6, 6));
    EXPECT_EQ(cellsOf(canvas.bitmap, kInk), minus(rectCells(2, 2, 7, 7), rectCells(3, 3, 6, 6)));
}

TEST(Polygon, CollapsedShapesDrawOnlyTheirOutline) {
    Canvas point(6, 6);
    const Point dot[] = {{3, 3}, {3, 3}, {3, 3}, {3, 3}};
    point.surface.polygon(dot);
    EXPECT_TRUE(cellsOf(point.bitmap, kInk).empty());
    EXPECT_TRUE(cellsOf(point.bitmap, kFill).empty());

    Canvas line(6, 6);
    const Point segment[] = {{1, 1}, {4, 1}, {4, 1}, {1, 1}};
    line.surface.polygon(segment);
    EXPECT_EQ(cellsOf(line.bitmap, kInk), rectCells(1, 1, 5, 2));
    EXPECT_TRUE(cellsOf(line.bitmap, kFill).empty());
}

TEST(Polygon, AlternateRuleLeavesTheOverlapOfASelfCrossingShapeUnfilled) {
    // A pentagram-like path: the ring of five crossings around the centre is inside twice.
    Canvas canvas(40, 40);
    canvas.surface.setPen(kFill); // outline and fill alike: look at the centre only
    const Point star[] = {{20, 2}, {31, 36}, {2, 14}, {38, 14}, {9, 36}};
    canvas.surface.polygon(star);
    EXPECT_EQ(canvas.bitmap.colourAt(20, 20), kPaper);
    EXPECT_EQ(canvas.bitmap.colourAt(20, 8), kFill);
}

// The interior rule written plainly: on scanline y every non-horizontal edge whose upper end is
// at or above y and whose lower end is below it crosses at xTop + ceil(dx * k / dy); the sorted
// crossings pair up into half-open spans.
Cells alternateFill(const std::vector<Point>& points, int w, int h) {
    Cells cells;
    for (int y = 0; y < h; ++y) {
        std::vector<long> xs;
        for (std::size_t i = 0; i < points.size(); ++i) {
            Point a = points[(i + points.size() - 1) % points.size()], b = points[i];
            if (a.y == b.y) continue;
            if (a.y > b.y) std::swap(a, b);
            if (y < a.y || y >= b.y) continue;
            const long num = static_cast<long>(b.x - a.x) * (y - a.y), den = b.y - a.y;
            const long ceil = num >= 0 ? (num + den - 1) / den : -((-num) / den);
            xs.push_back(a.x + ceil);
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2)
            for (long x = std::max(xs[i], 0L); x < std::min(xs[i + 1], static_cast<long>(w)); ++x)
                cells.insert({static_cast<int>(x), y});
    }
    return cells;
}

TEST(Polygon, InteriorFollowsTheAlternateRuleForAnyShape) {
    unsigned seed = 12345;
    auto next = [&](int lo, int hi) {
        seed = seed * 1103515245u + 12345u;
        return lo + static_cast<int>((seed >> 8) % static_cast<unsigned>(hi - lo + 1));
    };
    for (int i = 0; i < 500; ++i) {
        const int n = 3 + i % 8; // up to ten vertices: the inline and the heap storage alike
        std::vector<Point> points;
        for (int k = 0; k < n; ++k)
            points.push_back({next(-15, 45), next(-15, 35)});
        Bitmap bitmap(30, 20);
        coverage::fillPolygon(bitmap, points, pixelOf(kFill));
        EXPECT_EQ(cellsOf(bitmap, kFill), alternateFill(points, 30, 20)) << "shape " << i;
    }
}

TEST(ScrollLeft, MovesTheBlockAndLeavesTheRestAlone) {
    const int w = 8, h = 4;
    for (const int dx : {0, 1, 3, 7, 8, 20}) {
        Bitmap bitmap(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bitmap.row(y)[x] = static_cast<std::uint32_t>(y * 16 + x);
        const Bitmap before = bitmap;
        RasterSurface surface(bitmap);
        surface.scrollLeft(w - dx, 3, dx);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool moved = y < 3 && x < w - dx;
                const std::uint32_t expected = moved ? before.row(y)[x + dx] : before.row(y)[x];
                EXPECT_EQ(bitmap.row(y)[x], expected) << "dx " << dx << " at " << x << "," << y;
            }
    }
}

TEST(SetPixel, SetsOneCellAndIgnoresCellsOutside) {
    Canvas canvas(5, 5);
    canvas.surface.setPixel(2, 3, kInk);
    for (const Point p : {Point{-1, 0}, Point{5, 0}, Point{0, 5}, Point{INT_MIN, INT_MAX}})
        canvas.surface.setPixel(p.x, p.y, kFill);
    EXPECT_EQ(cellsOf(canvas.bitmap, kInk), (Cells{{2, 3}}));
    EXPECT_TRUE(cellsOf(canvas.bitmap, kFill).empty());
}

// A stored pixel (colour premultiplied by its alpha) laid over an opaque colour, rounded.
std::uint32_t shownOver(std::uint32_t pixel, std::uint32_t behind) {
    const std::uint32_t uncovered = 255 - (pixel >> 24);
    std::uint32_t shown = 0;
    for (int shift : {0, 8, 16})
        shown |= ((pixel >> shift & 0xFF) + ((behind >> shift & 0xFF) * uncovered + 127) / 255)
                 << shift;
    return shown;
}

// Each case drawn with and without an alpha channel: over black the first is the second, the
// window's pixel; over white a 2D band shows as much white as it is dark.
TEST(RasterSurface, AnAlphaChannelFollowsTheOpacityAndOverBlackIsTheWindowsPixel) {
    using Opacity = Surface::Opacity;
    const struct {
        const char* what;
        Opacity opacity;
        Colour colour;
        std::uint32_t stored;    // with an alpha channel
        std::uint32_t overWhite; // that pixel shown over white
    } cases[] = {
        {"a quiet band lets white through", Opacity::Light, rgb(0, 5, 5), 0x05000505, 0xFAFFFF},
        {"a loud band hides white", Opacity::Light, rgb(255, 128, 0), 0xFFFF8000, 0xFF8000},
        {"a quiet box hides white", Opacity::Solid, rgb(0, 5, 5), 0xFF000505, 0x000505},
        {"the cleared ground is clear", Opacity::Clear, kBlack, 0x00000000, 0xFFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint32_t drawn[2] = {};
        for (const bool alpha : {false, true}) {
            Bitmap bitmap(4, 4);
            RasterSurface surface(bitmap);
            surface.keepAlpha(alpha);
            surface.setOpacity(c.opacity);
            surface.setPen(c.colour);
            surface.setBrush(c.colour);
            surface.rectangle(0, 0, 4, 4);
            drawn[alpha] = bitmap.row(1)[1];
        }
        EXPECT_EQ(drawn[false], pixelOf(c.colour)) << "a window's pixel has no alpha";
        EXPECT_EQ(drawn[true], c.stored);
        EXPECT_EQ(shownOver(drawn[true], 0x000000), drawn[false]);
        EXPECT_EQ(shownOver(drawn[true], 0xFFFFFF), c.overWhite);
    }
}

TEST(RasterSurface, EmptyBitmapIgnoresEverything) {
    Bitmap bitmap(0, 0);
    RasterSurface surface(bitmap);
    surface.rectangle(-10, -10, 10, 10);
    surface.lineTo(10, 10);
    const Point quad[] = {{0, 0}, {5, 0}, {5, 5}, {0, 5}};
    surface.polygon(quad);
    surface.setPixel(0, 0, kInk);
    surface.scrollLeft(10, 10, 1);
    EXPECT_TRUE(bitmap.packed().empty());
}

} // namespace
} // namespace lumacore
