#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "history/column_box.h"

namespace lumacore {
namespace {

// Records the polygons a box is drawn with.
class PolygonLog final : public Surface {
  public:
    std::vector<std::vector<Point>> polygons;
    void setPen(Colour) override {}
    void setBrush(Colour) override {}
    void rectangle(int, int, int, int) override {}
    void polygon(std::span<const Point> points) override {
        polygons.emplace_back(points.begin(), points.end());
    }
    void moveTo(int, int) override {}
    void lineTo(int, int) override {}
    void setPixel(int, int, Colour) override {}
    void scrollLeft(int, int, int) override {}
    void setTextColour(Colour) override {}
    void setBackgroundColour(Colour) override {}
    void selectFont(int, const std::string&) override {}
    void textOut(int, int, std::string_view) override {}
};

TEST(DrawColumnBox, SideFrontAndTopFacesAtTheDocumentedCorners) {
    PolygonLog log;
    HistoryState state;
    state.drawDC = &log;
    state.depthStep = depthStepFor(600); // 2.68
    drawColumnBox(state, 100, 200, 50);
    // The back edge lies two pixels, not three, right of the front edge: 3 * 0.9992 truncates.
    const std::vector<std::vector<Point>> expected = {
        {{100, 200}, {102, 197}, {102, 147}, {100, 150}},
        {{100, 200}, {97, 200}, {97, 150}, {100, 150}},
        {{100, 150}, {102, 147}, {99, 147}, {97, 150}},
    };
    EXPECT_EQ(log.polygons, expected);
}

TEST(DrawColumnBox, HeightZeroCollapsesSideAndFront) {
    PolygonLog log;
    HistoryState state;
    state.drawDC = &log;
    state.depthStep = depthStepFor(600);
    drawColumnBox(state, 10, 20, 0);
    ASSERT_EQ(log.polygons.size(), 3u);
    EXPECT_EQ(log.polygons[1], (std::vector<Point>{{10, 20}, {7, 20}, {7, 20}, {10, 20}}));
    EXPECT_EQ(log.polygons[2], (std::vector<Point>{{10, 20}, {12, 17}, {9, 17}, {7, 20}}));
}

} // namespace
} // namespace lumacore
