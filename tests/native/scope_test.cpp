// The oscilloscope and the VU meter on the software rasteriser, pixel by pixel.
#include <gtest/gtest.h>

#include <memory>

#include "host/raster/raster_surface.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore {
namespace {

constexpr Colour kBackground = rgb(127, 57, 50);
constexpr Colour kPaper = rgb(1, 2, 3);

struct Scope {
    std::unique_ptr<winampVisModule> module = std::make_unique<winampVisModule>();
    Bitmap bitmap{289, 320};
    RasterSurface surface{bitmap};
    ScopeState state;
    Scope() { bitmap.fill(kPaper); }
    void sample(int row, int index, int value) {
        module->waveformData[row][index] =
            static_cast<unsigned char>(static_cast<signed char>(value));
    }
    void fillRow(int row, int value) {
        for (int i = 0; i < kSamplesPerChannel; ++i)
            sample(row, i, value);
    }
    Colour at(int x, int y) const { return bitmap.colourAt(x, y); }
};

TEST(OscilloscopeColour, FollowsTheEightBitArithmetic) {
    const struct {
        int sample, red, green;
    } rows[] = {{-128, 255, 127}, {-127, 0, 129}, {-64, 63, 255}, {-63, 64, 1}, {-1, 126, 125},
                {0, 127, 127},    {1, 128, 129},  {64, 191, 255}, {65, 192, 1}, {127, 254, 125}};
    for (const auto& r : rows)
        EXPECT_EQ(oscilloscopeColour(r.sample), rgb(r.red, r.green, 0)) << r.sample;
}

TEST(Oscilloscope, SegmentsRunFromTheCentreLineAndStopBeforeTheSample) {
    const struct {
        int row, column, value, from, to; // rows covered, inclusive
        Colour colour;
    } cases[] = {
        {0, 10, 64, 64, 127, rgb(191, 255, 0)},
        {0, 10, 65, 64, 128, rgb(192, 1, 0)},
        {1, 0, -128, 65, 192, rgb(255, 127, 0)},
        {0, 287, -5, 60, 64, oscilloscopeColour(-5)},
    };
    for (const auto& c : cases) {
        Scope s;
        s.module->nCh = 2;
        s.sample(c.row, c.column, c.value);
        EXPECT_EQ(oscilloscopeRender(s.surface, *s.module), 0);
        for (int y = c.from; y <= c.to; ++y)
            EXPECT_EQ(s.at(c.column, y), c.colour) << y;
        const int before = c.value > 0 ? c.from - 1 : c.to + 1;
        const int after = c.value > 0 ? c.to + 1 : c.from - 1;
        EXPECT_NE(s.at(c.column, before), c.colour);
        if (after < 255) {
            EXPECT_NE(s.at(c.column, after), c.colour);
        }
    }
}

TEST(Oscilloscope, ChannelCountSelectsTheTraces) {
    const struct {
        int nCh;
        bool upper, lower;
    } cases[] = {
        {0, false, false}, {1, true, false}, {2, true, true}, {7, true, true}, {-3, false, false}};
    for (const auto& c : cases) {
        Scope s;
        s.module->nCh = c.nCh;
        s.fillRow(0, 20);
        s.fillRow(1, 20);
        oscilloscopeRender(s.surface, *s.module);
        EXPECT_EQ(s.at(100, 70) == kBackground, !c.upper) << c.nCh;
        EXPECT_EQ(s.at(100, 200) == kBackground, !c.lower) << c.nCh;
    }
}

TEST(Oscilloscope, BackgroundAndItsOutlineFromThePreviousCall) {
    Scope s;
    s.module->nCh = 2;
    oscilloscopeRender(s.surface, *s.module); // silence: only the background
    EXPECT_EQ(s.at(0, 0), kBlack);            // a fresh surface's pen
    EXPECT_EQ(s.at(287, 255), kBlack);
    EXPECT_EQ(s.at(1, 1), kBackground);
    EXPECT_EQ(s.at(286, 254), kBackground);
    EXPECT_EQ(s.at(288, 100), kPaper); // column 288 and row 256 lie outside
    EXPECT_EQ(s.at(100, 256), kPaper);

    // The next outline takes the pen of the last segment: row nCh - 1, column 287.
    s.sample(1, 287, 65);
    oscilloscopeRender(s.surface, *s.module);
    oscilloscopeRender(s.surface, *s.module);
    EXPECT_EQ(s.at(0, 0), oscilloscopeColour(65));
    EXPECT_EQ(s.at(150, 255), oscilloscopeColour(65));
}

TEST(Oscilloscope, SamplesBeyond287NeverShow) {
    Scope quiet, busy;
    quiet.module->nCh = busy.module->nCh = 2;
    for (int i = 288; i < kSamplesPerChannel; ++i)
        busy.sample(0, i, 90), busy.sample(1, i, -90);
    oscilloscopeRender(quiet.surface, *quiet.module);
    oscilloscopeRender(busy.surface, *busy.module);
    EXPECT_EQ(quiet.bitmap.packed(), busy.bitmap.packed());
}

TEST(VuMeter, LevelsAndColours) {
    const struct {
        int sampleCount, value, level;
    } levels[] = {{0, 0, 0},        {199, 1, 1},     {1, 99, 0},
                  {576, -128, 127}, {127, 100, 127}, {100, -127, 127}};
    for (const auto& l : levels) {
        Scope s;
        for (int i = 0; i < l.sampleCount; ++i)
            s.sample(0, i, l.value);
        EXPECT_EQ(vuLevel(*s.module, 0), l.level) << l.sampleCount << " x " << l.value;
    }
    const struct {
        int level, red, blue;
    } colours[] = {{1, 4, 2},    {32, 128, 64},  {63, 252, 126},
                   {64, 0, 128}, {96, 128, 192}, {127, 252, 254}};
    for (const auto& c : colours)
        EXPECT_EQ(vuColour(c.level), rgb(c.red, c.red, c.blue)) << c.level;
}

TEST(VuMeter, OneColumnPerCall) {
    const struct {
        int left, right; // sample values filling each row
    } cases[] = {{0, 0}, {-128, -128}, {-128, 0}};
    for (const auto& c : cases) {
        Scope s;
        s.state.vuCursor = 40;
        s.fillRow(0, c.left);
        s.fillRow(1, c.right);
        EXPECT_EQ(vuMeterRender(s.state, s.surface, *s.module), 0);
        EXPECT_EQ(s.state.vuCursor, 41);
        const int leftLevel = vuLevel(*s.module, 0), rightLevel = vuLevel(*s.module, 1);
        for (int y = 0; y <= 256; ++y) {
            Colour expected = kScopeGrey;
            if (y == 128 || y == 256) expected = kBlack;
            if (y <= 128 && y > 128 - leftLevel) expected = vuColour(leftLevel);
            if (y > 128 && y <= 256 && y > 256 - rightLevel) expected = vuColour(rightLevel);
            if (y == 256 && rightLevel == 0) expected = kBlack;
            EXPECT_EQ(s.at(40, y), expected)
                << "row " << y << " levels " << leftLevel << "/" << rightLevel;
        }
        EXPECT_EQ(s.at(39, 100), kPaper);
        EXPECT_EQ(s.at(41, 100), kPaper);
    }
}

TEST(VuMeter, ASweepTakes289CallsAndContinuesAcrossRuns) {
    Scope s;
    for (int call = 0; call < 289; ++call)
        vuMeterRender(s.state, s.surface, *s.module);
    EXPECT_EQ(s.state.vuCursor, 0);
    for (const int x : {0, 144, 288})
        EXPECT_EQ(s.at(x, 10), kScopeGrey) << x;

    // A later run of the meter in the same load goes on from where the last one stopped.
    s.state.vuCursor = 99;
    Scope next;
    next.state = s.state;
    vuMeterRender(next.state, next.surface, *next.module);
    EXPECT_EQ(next.at(99, 10), kScopeGrey);
    EXPECT_EQ(next.state.vuCursor, 100);
}

} // namespace
} // namespace lumacore
