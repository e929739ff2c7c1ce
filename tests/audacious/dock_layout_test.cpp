// The dock's settings and size as the runner's display and the picture's place in the widget.
#include "dock_layout.h"

#include <gtest/gtest.h>

namespace lumacore::audacious {
namespace {

using cli::ModuleKind;

struct Row {
    const char* what;
    DockSettings settings;
    int width, height; // the widget's
    ModuleKind module;
    int displayWidth, displayHeight, scale, x, y;
    float brightness;
};

constexpr ModuleKind kHistory = ModuleKind::History;
constexpr ModuleKind kScope = ModuleKind::Scope;
constexpr ModuleKind kVu = ModuleKind::VuMeter;
const Row kRows[] = {
    {"the history fills it", {0, true, 100}, 640, 360, kHistory, 640, 360, 1, 0, 0, 1.0f},
    {"not laid out yet", {0, true, 100}, 0, 0, kHistory, 1, 1, 1, 0, 0, 1.0f},
    {"over the largest side", {0, true, 100}, 10000, 20, kHistory, 8192, 20, 1, 0, 0, 1.0f},
    {"a scope twice, centred", {1, true, 100}, 640, 600, kScope, 289, 257, 2, 31, 43, 1.0f},
    {"a VU meter, smaller", {2, true, 100}, 200, 100, kVu, 289, 257, 1, 0, 0, 1.0f},
    {"too bright", {0, true, 500}, 100, 100, kHistory, 100, 100, 1, 0, 0, 2.0f},
    {"too dark", {0, true, 0}, 100, 100, kHistory, 100, 100, 1, 0, 0, 0.2f},
    {"an unknown display", {7, true, 100}, 100, 100, kHistory, 100, 100, 1, 0, 0, 1.0f},
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

class DockLayoutRows : public ::testing::TestWithParam<Row> {};

TEST_P(DockLayoutRows, Layout) {
    const Row& row = GetParam();
    SCOPED_TRACE(row.what);
    const DockLayout layout = layoutFor(row.settings, row.width, row.height);
    EXPECT_EQ(layout.display.module, row.module);
    EXPECT_EQ(layout.display.width, row.displayWidth);
    EXPECT_EQ(layout.display.height, row.displayHeight);
    EXPECT_EQ(layout.scale, row.scale);
    EXPECT_EQ(layout.x, row.x);
    EXPECT_EQ(layout.y, row.y);
    EXPECT_FLOAT_EQ(layout.display.brightness, row.brightness);
}

INSTANTIATE_TEST_SUITE_P(Dock, DockLayoutRows, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return "Row" + std::to_string(info.index);
                         });

} // namespace
} // namespace lumacore::audacious
