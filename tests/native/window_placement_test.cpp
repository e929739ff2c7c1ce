// Where a window is created from a stored placement that may hold anything: the size rules and
// the rule that keeps some of the window on the screen, at the int range's edges too.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>

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

} // namespace
} // namespace lumacore
