// The spectrum-history frame on the software rasteriser, with the exact pixels of the documented
// 800 x 600 examples.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <memory>
#include <string>

#include "history/history_render.h"
#include "history/palette.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

constexpr Colour kMarker = rgb(9, 99, 199);

struct Display {
    std::unique_ptr<HistoryState> state = std::make_unique<HistoryState>();
    std::unique_ptr<winampVisModule> module = std::make_unique<winampVisModule>();
    Bitmap bitmap;
    RasterSurface surface;

    Display(int w, int h, bool threeD, int bitmapW = -1, int bitmapH = -1)
        : bitmap(bitmapW < 0 ? w : bitmapW, bitmapH < 0 ? h : bitmapH), surface(bitmap) {
        bitmap.fill(kMarker);
        state->drawDC = &surface;
        setClientSize(*state, w, h);
        buildPalette(*state);
        setMode(*state, threeD ? 1 : 0);
    }
    void setBin(int bin, int left, int right) {
        module->spectrumData[0][bin] = static_cast<unsigned char>(left);
        module->spectrumData[1][bin] = static_cast<unsigned char>(right);
    }
    int render() { return historyRender(*state, *module); }
};

TEST(HistoryRender, ThreeDDrawsAColumnEveryFifthFrame) {
    Display d(800, 600, true);
    d.bitmap.row(10)[400] = pixelOf(rgb(1, 1, 1));
    for (int frame = 1; frame <= 4; ++frame) {
        EXPECT_EQ(d.render(), 0);
        EXPECT_EQ(d.state->frameCount, frame);
        // Only a scroll: the marked pixel moved one column left; the strip is not cleared.
        EXPECT_EQ(d.bitmap.colourAt(400 - frame, 10), rgb(1, 1, 1));
        EXPECT_EQ(d.bitmap.colourAt(799, 300), kMarker);
    }
    EXPECT_EQ(d.render(), 0);
    EXPECT_EQ(d.state->frameCount, 0);
    // The fifth frame clears a strip columnStep wide over the full height, banner included.
    for (const int x : {796, 797, 798, 799})
        for (const int y : {0, 300, 545, 599})
            EXPECT_EQ(d.bitmap.colourAt(x, y), kBlack);
    EXPECT_EQ(d.bitmap.colourAt(795, 300), kMarker);
    // The banner strip below the scroll region is never scrolled.
    EXPECT_EQ(d.bitmap.colourAt(400 - 5, 550), kMarker);
}

// The shapes of today's screens: the full spectrum, loud, drawn for a few seconds. Every band of
// the 2D history shows in its rows and nothing of the history reaches the banner's strip; in
// 3D the boxes stay above the strip and inside the picture's top, and they fit its width while
// the picture is at least two thirds as wide as it is high (the receding boxes of the highest
// bins lie that far left of the newest column): a 9:16 picture cuts the highest bins at its
// left edge, as the display's own rules place them.
TEST(HistoryRender, TallAndSquareShapesKeepTheLayout) {
    struct Case {
        int width, height;
        bool threeD;
        bool fitsWidth; // every 3D box inside the picture
    };
    const Case cases[] = {
        {1920, 1080, false, true}, {1080, 1920, false, true}, {1080, 1080, false, true},
        {1920, 1080, true, true},  {1080, 1080, true, true},  {1080, 1920, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) +
                     (c.threeD ? " 3d" : " 2d"));
        Display d(c.width, c.height, c.threeD);
        d.state->brightness = 2.0f;
        for (int bin = 0; bin < kHistoryBins; ++bin)
            d.setBin(bin, 255, 255);
        for (int call = 0; call < 60; ++call)
            d.render();
        const int strip = static_cast<int>((1.0 - kBannerFraction) * c.height);
        // Below the scroll region the history only ever clears its new strip.
        for (int y = strip; y < c.height; ++y)
            for (int x = 0; x < c.width; x += 7) {
                const Colour colour = d.bitmap.colourAt(x, y);
                ASSERT_TRUE(colour == kBlack || colour == kMarker) << x << "," << y;
            }
        if (!c.threeD) {
            for (int bin = 0; bin < kHistoryBins; ++bin) {
                const Rect band = bandRect(*d.state, bin);
                ASSERT_GE(band.top + 1, 0);
                ASSERT_LE(band.bottom, strip);
                EXPECT_NE(d.bitmap.colourAt(c.width - 1, band.top + 1), kBlack) << "bin " << bin;
            }
            continue;
        }
        // The highest box of the loudest bin, and the box furthest left.
        const BinShade loudest = binShade(*d.state, 0, 510);
        const BoxPlacement first = boxPlacement(*d.state, 0, loudest.intensity);
        EXPECT_GE(first.y - first.height - d.state->depthStep, 0) << "cut at the top";
        const BoxPlacement last = boxPlacement(*d.state, kHistoryBins - 1, loudest.intensity);
        EXPECT_EQ(last.x - (d.state->columnStep - 1) >= 0, c.fitsWidth) << "x " << last.x;
        EXPECT_LE(last.y, strip);
    }
}

TEST(HistoryRender, ScrollRegionIsTheTop91PercentMeasuredInSinglePrecision) {
    Display d(10, 100, false);
    for (int y = 0; y < 100; ++y)
        d.bitmap.row(y)[5] = pixelOf(rgb(0, 0, y));
    d.render();
    // (1 - 0.09f) * 100 = 90.99999..., so rows 0..89 scroll and row 90 stays.
    EXPECT_EQ(d.bitmap.colourAt(4, 89), rgb(0, 0, 89));
    EXPECT_EQ(d.bitmap.colourAt(4, 90), kMarker);
    EXPECT_EQ(d.bitmap.colourAt(5, 90), rgb(0, 0, 90));
}

TEST(HistoryRender, SumsAcrossFramesDividedByTheColumnStep) {
    Display d(800, 600, true);
    // Bin 75 at level 40: five frames summing to 160 per frame pair... 5 x 32 = 160, / 4 = 40.
    d.setBin(75, 16, 16);
    for (int frame = 0; frame < 5; ++frame)
        d.render();
    const BinShade shade = binShade(*d.state, 75, 40);
    EXPECT_EQ(shade.intensity, 110);
    EXPECT_EQ(rgb(shade.red, shade.green, shade.blue), rgb(0, 117, 130));
    const BoxPlacement box = boxPlacement(*d.state, 75, 110);
    EXPECT_EQ(box.x, 598);
    EXPECT_EQ(box.y, 324);
    EXPECT_EQ(box.height, 85);
    // Inside the front face: the fill; on its right edge: the outline, 20 brighter.
    EXPECT_EQ(d.bitmap.colourAt(596, 300), rgb(0, 117, 130));
    EXPECT_EQ(d.bitmap.colourAt(598, 300), rgb(20, 137, 150));
    EXPECT_EQ(d.bitmap.colourAt(596, 330), kMarker);
}

TEST(HistoryRender, DocumentedPlacementsAt800x600) {
    Display d(800, 600, true);
    const BoxPlacement box = boxPlacement(*d.state, 75, 100);
    EXPECT_EQ(box.x, 598);
    EXPECT_EQ(box.y, 324);
    EXPECT_EQ(box.height, 77);
    setMode(*d.state, 0);
    const Rect band = bandRect(*d.state, 10);
    EXPECT_EQ(band, (Rect{799, 35, 800, 38}));
}

TEST(HistoryRender, TwoDBandsAndTheirColours) {
    const struct {
        int bin, left, right;
        int firstRow, lastRow;
        Colour colour;
    } cases[] = {
        {0, 100, 100, 0, 1, rgb(255, 0, 0)},   // v 400 capped at 245: pure red
        {10, 50, 50, 35, 37, rgb(249, 99, 0)}, // rows 35..37 of the rightmost column
        {149, 1, 1, 541, 543, rgb(7, 0, 0)},   // v = trunc(3.49 * 2) = 6: faint but drawn
    };
    for (const auto& c : cases) {
        Display d(800, 600, false);
        d.setBin(c.bin, c.left, c.right);
        d.render();
        if (c.firstRow > 0) {
            EXPECT_EQ(d.bitmap.colourAt(799, c.firstRow - 1), kBlack);
        }
        for (int y = c.firstRow; y <= c.lastRow; ++y)
            EXPECT_EQ(d.bitmap.colourAt(799, y), c.colour) << "bin " << c.bin << " row " << y;
        EXPECT_EQ(d.bitmap.colourAt(799, c.lastRow + 1), kBlack) << "bin " << c.bin;
        EXPECT_EQ(d.bitmap.colourAt(798, c.firstRow), kMarker);
    }
}

TEST(HistoryRender, FaintBinsAreSkipped) {
    Display d(800, 600, true);
    d.setBin(0, 1, 0); // level 5 / 4 = 1: v = 2
    for (int frame = 0; frame < 5; ++frame)
        d.render();
    EXPECT_EQ(binShade(*d.state, 0, 1).intensity, 2);
    for (int y = 0; y < 600; ++y)
        for (int x = 790; x < 800; ++x) {
            const Colour c = d.bitmap.colourAt(x, y);
            EXPECT_TRUE(c == kBlack || c == kMarker) << x << "," << y;
        }
}

TEST(HistoryRender, SilenceScrollsAndClearsOnly) {
    Display d(50, 40, false);
    d.render();
    for (int y = 0; y < 40; ++y)
        EXPECT_EQ(d.bitmap.colourAt(49, y), kBlack);
    EXPECT_EQ(d.bitmap.colourAt(48, 10), kMarker);
}

TEST(HistoryRender, AbsurdBrightnessCapsTheIntensity) {
    // The most negative ones saturate the intensity; their colour must not overflow.
    const struct {
        float brightness;
        int intensity;
    } cases[] = {{1e6f, 245},
                 {3.4e38f, 245},
                 {-5.0f, -5176},
                 {-3.4e38f, INT_MIN},
                 {-std::numeric_limits<float>::infinity(), INT_MIN}};
    for (const auto& c : cases) {
        Display d(100, 80, false);
        d.state->brightness = c.brightness;
        d.setBin(3, 255, 255);
        EXPECT_EQ(d.render(), 0);
        const BinShade shade = binShade(*d.state, 3, 510);
        EXPECT_EQ(shade.intensity, c.intensity) << c.brightness;
        if (c.intensity < 0) {
            EXPECT_EQ(rgb(shade.red, shade.green, shade.blue), kBlack) << c.brightness;
        }
    }
}

TEST(HistoryRender, EmptyClientAreaCountsFramesButDrawsNothing) {
    const struct { int w, h; } sizes[] = {{0, 600}, {800, 0}, {0, 0}, {-3, 20}};
    for (const auto& size : sizes) {
        Display d(size.w, size.h, true, 16, 16);
        d.setBin(0, 200, 200);
        for (int frame = 0; frame < 7; ++frame)
            EXPECT_EQ(d.render(), 0);
        EXPECT_EQ(d.state->frameCount, 2); // the cadence carries on
        for (const std::uint32_t p : d.bitmap.packed())
            EXPECT_EQ(p, pixelOf(kMarker));
    }
}

TEST(HistoryRender, ClientLargerThanTheSurfaceIsClipped) {
    Display d(4000, 3000, true, 64, 48);
    for (int frame = 0; frame < 60; ++frame) {
        for (int bin = 0; bin < kHistoryBins; ++bin)
            d.setBin(bin, 250, (frame * bin) % 256);
        EXPECT_EQ(d.render(), 0);
    }
    EXPECT_EQ(d.bitmap.width(), 64);
}

TEST(HistoryRender, ModeSwitchKeepsThe3DSums) {
    Display d(200, 100, true);
    d.setBin(5, 10, 10);
    d.render();
    d.render();
    EXPECT_EQ(d.state->frameCount, 2);
    setMode(*d.state, 0);
    d.render();
    EXPECT_EQ(d.state->frameCount, 2);
    EXPECT_EQ(d.state->binSums[5], 40);
    setMode(*d.state, 1);
    d.render();
    EXPECT_EQ(d.state->frameCount, 3);
    EXPECT_EQ(d.state->binSums[5], 60);
}

TEST(HistoryRender, CallbackUsesTheLoadState) {
    winampVisModule module;
    EXPECT_EQ(historyRender(&module), 0); // no surface yet: counts, draws nothing
    EXPECT_EQ(historyRender(nullptr), 0);
    EXPECT_EQ(historyState().frameCount, 1);
}

} // namespace
} // namespace lumacore
