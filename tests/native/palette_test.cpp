#include <gtest/gtest.h>

#include "history/palette.h"

namespace lumacore {
namespace {

struct HueCase {
    int hue, base, scale;
    int red, green, blue;
};

TEST(HueColour, FollowsTheWheelAndItsScaling) {
    const HueCase cases[] = {
        {0, 0, 255, 255, 0, 0},       {40, 0, 255, 255, 255, 0}, {80, 0, 255, 0, 255, 0},
        {120, 0, 255, 0, 255, 255},   {160, 0, 255, 0, 0, 255},  {200, 0, 255, 255, 0, 255},
        {240, 0, 255, 255, 0, 0},     {20, 0, 255, 255, 127, 0}, // 255 * 20 / 40 truncates
        {100, 0, 300, 0, 255, 127},                              // scale above 255 acts as 255
        {100, 0, 255, 0, 255, 127},   {0, 0, 128, 128, 0, 0},    // scaled by 128 / 255
        {100, 50, 255, 50, 255, 152},                            // a base lifts the low channels
        {250, 0, 255, 255, 0, 0},                                // past the wheel: red
    };
    for (const HueCase& c : cases) {
        const Colour colour = hueColour(c.hue, c.base, c.scale);
        EXPECT_EQ(redOf(colour), c.red) << "hue " << c.hue << " base " << c.base;
        EXPECT_EQ(greenOf(colour), c.green) << "hue " << c.hue << " base " << c.base;
        EXPECT_EQ(blueOf(colour), c.blue) << "hue " << c.hue << " base " << c.base;
        EXPECT_EQ(colour >> 24, 0u);
    }
}

TEST(BuildPalette, SamplesTheWheelAt250Over256) {
    HistoryState state;
    buildPalette(state);
    const struct {
        int entry, red, green, blue;
    } cases[] = {
        {0, 255, 0, 0},     // hue 0
        {127, 0, 229, 255}, // hue 124
        {128, 0, 223, 255}, // hue 125
        {255, 255, 0, 0},   // hue 249
    };
    for (const auto& c : cases) {
        EXPECT_EQ(state.palette[c.entry].red, c.red) << c.entry;
        EXPECT_EQ(state.palette[c.entry].green, c.green) << c.entry;
        EXPECT_EQ(state.palette[c.entry].blue, c.blue) << c.entry;
    }
    for (int k = 0; k < kPaletteSize; ++k) {
        const Colour expected = hueColour(250 * k / 256, 0, 255);
        EXPECT_EQ(rgb(state.palette[k].red, state.palette[k].green, state.palette[k].blue),
                  expected)
            << k;
    }
}

} // namespace
} // namespace lumacore
