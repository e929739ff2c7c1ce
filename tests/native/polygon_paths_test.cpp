// A polygon has two ways through the rasteriser: the general path (every row's crossings sorted,
// then the outline line by line) and the fast one for outlines that run down once and up once
// (two sides walked together, the upright sides' pen written with each row). Both must give the
// same pixels for every shape, and so must whole frames of the 3D history drawn either way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "draw_scripts.h"
#include "history/history_render.h"
#include "history/palette.h"
#include "host/raster/coverage.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

using testing::Random;

constexpr std::uint32_t kBrush = 0x10C020;
constexpr std::uint32_t kPen = 0xC01010;
constexpr int kWidth = 48;
constexpr int kHeight = 40;

// The platform's polygon written out: the interior by the general path, then each line.
void generalPolygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t brush,
                    std::uint32_t pen) {
    if (points.size() < 2) return;
    coverage::fillPolygonGeneral(bitmap, points, brush);
    for (std::size_t i = 0; i < points.size(); ++i)
        coverage::line(bitmap, points[i], points[(i + 1) % points.size()], pen);
}

Bitmap patterned() {
    Bitmap bitmap(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            bitmap.row(y)[x] = testing::backgroundPixel(x, y);
    return bitmap;
}

// Points round a centre at increasing angles: convex when every radius is the same, concave
// (but never crossing itself) when they vary.
std::vector<Point> aroundCentre(Random& random, int n, bool sameRadius) {
    const int cx = random.between(-10, kWidth + 10), cy = random.between(-10, kHeight + 10);
    const int radius = random.between(1, 40);
    std::vector<Point> points;
    double angle = random.between(0, 359) * std::numbers::pi / 180;
    for (int k = 0; k < n; ++k) {
        angle += 2 * std::numbers::pi / n * random.between(50, 150) / 100;
        const double r = sameRadius ? radius : random.between(1, 40);
        points.push_back({cx + static_cast<int>(std::lround(r * std::cos(angle))),
                          cy + static_cast<int>(std::lround(r * std::sin(angle)))});
    }
    return points;
}

// A column box as the 3D history draws it: upright sides, slanted top and bottom edges.
std::vector<Point> boxFace(Random& random, int) {
    const int x = random.between(-6, kWidth + 6), y = random.between(-6, kHeight + 30);
    const int d = random.between(0, 9), s = random.between(0, 5), h = random.between(0, 45);
    switch (random.between(0, 2)) {
    case 0:
        return {{x, y}, {x + d, y - s}, {x + d, y - s - h}, {x, y - h}};
    case 1:
        return {{x, y}, {x - d, y}, {x - d, y - h}, {x, y - h}};
    default:
        return {{x, y - h}, {x + d, y - s - h}, {x - d + s, y - s - h}, {x - d, y - h}};
    }
}

struct Family {
    const char* name;
    std::function<std::vector<Point>(Random&, int)> shape;
};

const Family kFamilies[] = {
    {"convex", [](Random& r, int n) { return aroundCentre(r, n, true); }},
    {"concave", [](Random& r, int n) { return aroundCentre(r, n, false); }},
    {"self-crossing",
     [](Random& r, int n) {
         std::vector<Point> points;
         for (int k = 0; k < n; ++k)
             points.push_back({r.between(-20, kWidth + 20), r.between(-20, kHeight + 20)});
         return points;
     }},
    {"upright-sided",
     [](Random& r, int n) {
         // Sides that go straight up or down, several of them, with steps in between.
         std::vector<Point> points{{r.between(0, kWidth), r.between(-5, kHeight + 5)}};
         for (int k = 1; k < n; ++k) {
             const Point last = points.back();
             points.push_back(k % 2 ? Point{last.x, r.between(-5, kHeight + 5)}
                                    : Point{r.between(-5, kWidth + 5), last.y});
         }
         return points;
     }},
    {"column-box", boxFace},
};

TEST(PolygonPaths, FastPathsGiveTheGeneralPathsPixels) {
    for (const Family& family : kFamilies) {
        Random random(0x5EED);
        for (int i = 0; i < 600; ++i) {
            const std::vector<Point> points = family.shape(random, 3 + i % 9);
            Bitmap fast = patterned(), general = patterned();
            coverage::fillPolygon(fast, points, kBrush);
            coverage::fillPolygonGeneral(general, points, kBrush);
            ASSERT_EQ(fast.packed(), general.packed()) << family.name << " interior " << i;

            Bitmap whole = patterned(), lines = patterned();
            coverage::polygon(whole, points, kBrush, kPen);
            generalPolygon(lines, points, kBrush, kPen);
            ASSERT_EQ(whole.packed(), lines.packed()) << family.name << " polygon " << i;
        }
    }
}

// Runs of every width the row writers treat apart (one pixel, pairs, two pairs each end, a
// library fill), on a few rows, cover exactly their cells and nothing beside them.
TEST(PolygonPaths, RunsOfEveryWidthCoverExactlyTheirCells) {
    for (int width = 0; width <= 13; ++width) {
        for (const int left : {-3, 0, 1, 2}) {
            Bitmap bitmap = patterned(), expected = patterned();
            coverage::fillRect(bitmap, left, 3, left + width, 6, kBrush);
            for (int y = 3; y < 6; ++y)
                for (int x = std::max(left, 0); x < left + width; ++x)
                    expected.row(y)[x] = kBrush;
            EXPECT_EQ(bitmap.packed(), expected.packed()) << "width " << width << " at " << left;
        }
    }
}

// Every operation goes to a RasterSurface, except that polygons take the general path.
class GeneralPathSurface final : public Surface {
  public:
    explicit GeneralPathSurface(Bitmap& bitmap) : bitmap_(bitmap), inner_(bitmap) {}
    void setPen(Colour c) override { inner_.setPen(c); }
    void setBrush(Colour c) override { inner_.setBrush(c); }
    void rectangle(int l, int t, int r, int b) override { inner_.rectangle(l, t, r, b); }
    void polygon(std::span<const Point> points) override {
        generalPolygon(bitmap_, points, pixelOf(inner_.state().brush), pixelOf(inner_.state().pen));
    }
    void moveTo(int x, int y) override { inner_.moveTo(x, y); }
    void lineTo(int x, int y) override { inner_.lineTo(x, y); }
    void setPixel(int x, int y, Colour c) override { inner_.setPixel(x, y, c); }
    void scrollLeft(int w, int h, int dx) override { inner_.scrollLeft(w, h, dx); }
    void setTextColour(Colour c) override { inner_.setTextColour(c); }
    void setBackgroundColour(Colour c) override { inner_.setBackgroundColour(c); }
    void selectFont(int h, const std::string& f) override { inner_.selectFont(h, f); }
    void textOut(int x, int y, std::string_view t) override { inner_.textOut(x, y, t); }

  private:
    Bitmap& bitmap_;
    RasterSurface inner_;
};

TEST(PolygonPaths, ThreeDHistoryFramesAreTheSameEitherWay) {
    const struct {
        int width, height;
        float brightness;
    } displays[] = {{800, 600, 1.0f}, {333, 201, 3.0f}, {61, 47, 2.0f}, {90, 700, 1.0f}};
    for (const auto& display : displays) {
        Bitmap fastBitmap(display.width, display.height);
        Bitmap generalBitmap(display.width, display.height);
        RasterSurface fast(fastBitmap);
        GeneralPathSurface general(generalBitmap);
        Surface* surfaces[] = {&fast, &general};
        std::unique_ptr<HistoryState> states[2];
        for (int k = 0; k < 2; ++k) {
            states[k] = std::make_unique<HistoryState>();
            states[k]->drawDC = surfaces[k];
            setClientSize(*states[k], display.width, display.height);
            buildPalette(*states[k]);
            setMode(*states[k], 1);
            states[k]->brightness = display.brightness;
        }
        auto module = std::make_unique<winampVisModule>();
        for (int frame = 0; frame < 60; ++frame) {
            testing::scriptedFrame(*module, frame);
            historyRender(*states[0], *module);
            historyRender(*states[1], *module);
            ASSERT_EQ(fastBitmap.packed(), generalBitmap.packed())
                << display.width << "x" << display.height << " frame " << frame;
        }
        // The frames drew columns, not just the black strip.
        const std::vector<std::uint32_t> pixels = fastBitmap.packed();
        EXPECT_GT(
            std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return p != 0; }),
            display.width)
            << display.width << "x" << display.height;
    }
}

} // namespace
} // namespace lumacore
