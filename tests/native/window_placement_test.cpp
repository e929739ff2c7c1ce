// Where a window is created from a stored placement that may hold anything: the size rules and
// the rule that keeps some of the window on the screen, at the int range's edges too.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "host/window_placement.h"

namespace lumacore {
namespace {

constexpr WindowSize kFallback{768, 512};
constexpr WindowSize kLargest{1292, 1036};

TEST(CreationSize, KeepsWhatIsInRangeAndReplacesOnlyTheBrokenSide) {
    const struct {
        WindowSize stored, expected;
    } cases[] = {
        {{500, 320}, {500, 320}},
        {{1, 1}, {1, 1}},
        {kLargest, kLargest},
        {{0, 0}, kFallback},
        {{-1, 300}, {kFallback.width, 300}},
        {{400, -1}, {400, kFallback.height}},
        {{INT_MIN, INT_MIN}, kFallback},
        {{INT_MAX, INT_MAX}, kLargest},
        {{kLargest.width + 1, 200}, {kLargest.width, 200}},
        {{1215752191, -2}, {kLargest.width, kFallback.height}}, // 99999999999 wrapped, and -2
    };
    for (const auto& c : cases)
        EXPECT_EQ(creationSize(c.stored, kFallback, kLargest), c.expected)
            << c.stored.width << " x " << c.stored.height;
}

// How many pixels of [start, start + length) lie in [low, high).
std::int64_t overlap(std::int64_t start, std::int64_t length, std::int64_t low, std::int64_t high) {
    return std::max<std::int64_t>(0, std::min(start + length, high) - std::max(start, low));
}

std::int64_t needed(int length) {
    return std::clamp<std::int64_t>(length, 0, kReachableExtent);
}

TEST(ReachablePlacement, AWindowEnoughOnTheScreenStaysWhereItWasWanted) {
    const Rect screen{0, 0, 1280, 1024};
    const WindowSize size{400, 300};
    const struct {
        int x, y;
    } kept[] = {
        {0, 0},
        {40, 30},
        {-8, -8}, // a maximised window's frame
        {880, 724},
        {-size.width + kReachableExtent, -size.height + kReachableExtent},
        {screen.right - kReachableExtent, screen.bottom - kReachableExtent},
    };
    for (const auto& k : kept) {
        const Rect place = reachablePlacement(k.x, k.y, size, screen);
        EXPECT_EQ(place, (Rect{k.x, k.y, k.x + size.width, k.y + size.height}))
            << k.x << "," << k.y;
    }
}

TEST(ReachablePlacement, AWindowOffTheScreenMovesTheLeastThatBringsItBack) {
    const Rect screen{-1920, -200, 1280, 1024}; // a second monitor to the left, set higher
    const WindowSize size{288, 280};
    const int leftmost = screen.left - size.width + kReachableExtent;
    const int topmost = screen.top - size.height + kReachableExtent;
    const int rightmost = screen.right - kReachableExtent;
    const int bottommost = screen.bottom - kReachableExtent;
    const struct {
        int x, y, left, top;
    } cases[] = {
        {INT_MIN, INT_MIN, leftmost, topmost},
        {INT_MAX, INT_MAX, rightmost, bottommost},
        {-1, 50, -1, 50}, // on the left monitor: unchanged
        {leftmost - 1, 50, leftmost, 50},
        {50, bottommost + 1, 50, bottommost},
        {1215752191, -100000, rightmost, topmost},
    };
    for (const auto& c : cases) {
        const Rect place = reachablePlacement(c.x, c.y, size, screen);
        EXPECT_EQ(place.left, c.left) << c.x;
        EXPECT_EQ(place.top, c.top) << c.y;
        EXPECT_EQ(place.width(), size.width);
        EXPECT_EQ(place.height(), size.height);
    }
}

TEST(ReachablePlacement, ASmallWindowLiesWhollyOnTheScreen) {
    const Rect screen{0, 0, 640, 480};
    const Rect place = reachablePlacement(-500, 9000, {10, 20}, screen);
    EXPECT_EQ(place, (Rect{0, 460, 10, 480}));
}

// Any corner and any size the int range holds: no overflow, the size kept where it fits, and
// always enough of the window on the screen; a window that had enough there is not moved.
TEST(ReachablePlacement, HoldsForEveryIntCornerAndSize) {
    const Rect screen{-1024, 0, 2560, 1440};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> near(-5000, 5000);
    std::uniform_int_distribution<int> side(1, 5000);
    for (int i = 0; i < 20000; ++i) {
        const int x = i % 2 ? any(random) : near(random);
        const int y = i % 3 ? any(random) : near(random);
        const WindowSize size{side(random), side(random)};
        const Rect place = reachablePlacement(x, y, size, screen);
        ASSERT_EQ(place.width(), size.width);
        ASSERT_EQ(place.height(), size.height);
        ASSERT_GE(overlap(place.left, size.width, screen.left, screen.right), needed(size.width));
        ASSERT_GE(overlap(place.top, size.height, screen.top, screen.bottom), needed(size.height));
        if (overlap(x, size.width, screen.left, screen.right) >= needed(size.width)) {
            ASSERT_EQ(place.left, x);
        }
        if (overlap(y, size.height, screen.top, screen.bottom) >= needed(size.height)) {
            ASSERT_EQ(place.top, y);
        }
    }
    // Sizes no caller should pass still give a rectangle without overflowing.
    const Rect huge = reachablePlacement(INT_MAX, INT_MAX, {INT_MAX, INT_MAX}, screen);
    EXPECT_EQ(huge.left, screen.right - kReachableExtent);
    EXPECT_EQ(huge.right, INT_MAX);
}

// Desktops of several monitors, as the system lists them, primary first.
struct Layout {
    const char* name;
    std::vector<Rect> monitors;
};

const Layout kSingle{"one monitor", {{0, 0, 1280, 1024}}};
// A smaller monitor to the right, top edges aligned: below it, inside the bounding box of both,
// lies a gap on no monitor.
const Layout kGap{"1920x1080 and 1280x720 to its right",
                  {{0, 0, 1920, 1080}, {1920, 0, 3200, 720}}};
const Layout kLeftHigher{"a second monitor to the left, set higher",
                         {{0, 0, 1280, 1024}, {-1920, -200, 0, 880}}};
const Layout kStacked{"one above the other, the upper narrower",
                      {{0, 0, 2560, 1440}, {640, -1080, 2560, 0}}};
const Layout kApart{"two monitors 1000 pixels apart", {{0, 0, 800, 600}, {1800, 0, 2600, 600}}};
const Layout kNone{"no monitors", {}};

TEST(ReachablePlacementOnMonitors, KeepsAWindowThatOneMonitorHoldsEnoughOf) {
    const struct {
        const Layout& layout;
        int x, y;
        WindowSize size;
    } cases[] = {
        {kSingle, 40, 30, {400, 300}},
        {kSingle, -8, -8, {1296, 1040}}, // maximised
        {kGap, 2500, 100, {400, 300}},   // on the smaller monitor
        {kGap, 1700, 600, {400, 300}},   // across the seam, most on the larger
        {kGap, 2000, 720 - kReachableExtent, {400, 300}},
        {kGap, 3200 - kReachableExtent, 0, {400, 300}},
        {kLeftHigher, -1900, -190, {288, 280}},
        {kLeftHigher, -1920 - 288 + kReachableExtent, 880 - kReachableExtent, {288, 280}},
        {kStacked, 700, -1000, {500, 400}},
        {kStacked, 0, 1440 - kReachableExtent, {500, 400}},
        {kApart, 2000, 100, {288, 280}},
        {kApart, 800 - kReachableExtent, 100, {288, 280}},
    };
    for (const auto& c : cases) {
        const Rect place = reachablePlacement(c.x, c.y, c.size, c.layout.monitors);
        EXPECT_EQ(place, (Rect{c.x, c.y, c.x + c.size.width, c.y + c.size.height}))
            << c.layout.name << ": " << c.x << "," << c.y;
    }
}

TEST(ReachablePlacementOnMonitors, MovesAWindowOnNoMonitorOntoTheNearest) {
    const struct {
        const Layout& layout;
        int x, y;
        WindowSize size;
        int left, top;
    } cases[] = {
        // In the gap below the smaller monitor, within the bounding box of both: before, such a
        // window counted as reachable. Up onto the smaller monitor, the closer one.
        {kGap, 2500, 900, {400, 300}, 2500, 720 - kReachableExtent},
        // Only 20 pixels on the larger one and above the smaller one's bottom: the smaller one
        // holds enough, so it stays.
        {kGap, 1900, 500, {400, 300}, 1900, 500},
        // Beyond the larger monitor's bottom left: back onto it, as on one monitor.
        {kGap, 100, 5000, {400, 300}, 100, 1080 - kReachableExtent},
        {kGap, INT_MAX, INT_MAX, {400, 300}, 3200 - kReachableExtent, 720 - kReachableExtent},
        {kGap, INT_MIN, INT_MIN, {400, 300}, -400 + kReachableExtent, -300 + kReachableExtent},
        // Between two monitors that do not touch: onto the closer one.
        {kApart, 1000, 100, {288, 280}, 800 - kReachableExtent, 100},
        {kApart, 1400, 100, {288, 280}, 1800 - 288 + kReachableExtent, 100},
        // Above the wider lower monitor, left of the narrower upper one.
        {kStacked, 0, -900, {500, 400}, 640 - 500 + kReachableExtent, -900},
        {kLeftHigher, -1000, 2000, {288, 280}, -1000, 880 - kReachableExtent},
        {kSingle, -500, 9000, {10, 20}, 0, 1004},
    };
    for (const auto& c : cases) {
        const Rect place = reachablePlacement(c.x, c.y, c.size, c.layout.monitors);
        EXPECT_EQ(place, (Rect{c.left, c.top, c.left + c.size.width, c.top + c.size.height}))
            << c.layout.name << ": " << c.x << "," << c.y;
    }
}

TEST(ReachablePlacementOnMonitors, TheNearestMonitorSharesTheMostAreaOrElseLiesClosest) {
    const struct {
        const Layout& layout;
        Rect window;
        int nearest;
    } cases[] = {
        {kGap, {1800, 0, 2100, 100}, 1},    // 180 of 300 pixels across on the smaller
        {kGap, {1800, 0, 2000, 100}, 0},    // 120 of 200 on the larger
        {kGap, {1700, 0, 2140, 100}, 0},    // equal areas: the first listed
        {kGap, {2500, 900, 2900, 1200}, 1}, // in the gap: 180 below one, 580 beside the other
        {kApart, {1200, 0, 1300, 10}, 0},   // 400 from the first, 500 from the second
        {kApart, {1320, 0, 1420, 10}, 1},   {kNone, {0, 0, 10, 10}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nearestMonitor(c.window, c.layout.monitors), c.nearest)
            << c.layout.name << ": " << c.window.left << "," << c.window.top;
}

// On every layout, any corner and size: enough of the window on some monitor afterwards, and a
// placement that one monitor already held enough of is never moved. One monitor gives exactly
// what the single-screen rule gives.
TEST(ReachablePlacementOnMonitors, HoldsForEveryLayoutCornerAndSize) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> near(-5000, 5000);
    std::uniform_int_distribution<int> side(1, 5000);
    for (const Layout* layout : {&kSingle, &kGap, &kLeftHigher, &kStacked, &kApart}) {
        for (int i = 0; i < 5000; ++i) {
            const int x = i % 2 ? any(random) : near(random);
            const int y = i % 3 ? any(random) : near(random);
            const WindowSize size{side(random), side(random)};
            const Rect place = reachablePlacement(x, y, size, layout->monitors);
            ASSERT_EQ(place.width(), size.width);
            ASSERT_EQ(place.height(), size.height);
            const auto enough = [&](int left, int top) {
                return std::any_of(
                    layout->monitors.begin(), layout->monitors.end(), [&](const Rect& m) {
                        return overlap(left, size.width, m.left, m.right) >= needed(size.width) &&
                               overlap(top, size.height, m.top, m.bottom) >= needed(size.height);
                    });
            };
            ASSERT_TRUE(enough(place.left, place.top)) << layout->name << ": " << x << "," << y;
            if (enough(x, y)) {
                ASSERT_EQ(place.left, x);
                ASSERT_EQ(place.top, y);
            }
            if (layout->monitors.size() == 1) {
                ASSERT_EQ(place, reachablePlacement(x, y, size, layout->monitors[0]));
            }
        }
    }
}

} // namespace
} // namespace lumacore
