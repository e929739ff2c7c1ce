// The OBS source's settings as the runner takes them: every value brought into range, the
// scopes' fixed picture enlarged by a whole factor, and which changes need a new runner.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "source_settings.h"

namespace lumacore::obs::test {
namespace {

using cli::ModuleKind;

TEST(SourceSettings, MakeThePictureAskedForWithinTheLimits) {
    struct Case {
        const char* name;
        SourceSettings settings;
        ModuleKind module;
        int width, height, scale; // the runner's client area and the texture's factor
        float brightness;
        double rate;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // clang-format off
    const Case cases[] = {
        {"defaults", {}, ModuleKind::History, 1280, 720, 1, 1.0f, 60},
        {"sides beyond the limits", {.width = 16385, .height = 1 << 30}, ModuleKind::History,
         8192, 8192, 1, 1.0f, 60},
        {"the renderer's largest sides, from a scene file edited by hand",
         {.width = cli::kMaxPictureSide, .height = cli::kMaxPictureSide}, ModuleKind::History,
         8192, 8192, 1, 1.0f, 60},
        {"sides of zero or less", {.width = 0, .height = -5}, ModuleKind::History, 1, 1, 1, 1.0f,
         60},
        {"oscilloscope twice as large, a little room left",
         {.display = "oscilloscope", .width = 600, .height = 520}, ModuleKind::Scope, 289, 257, 2,
         1.0f, 60},
        {"VU meter smaller than its picture", {.display = "vu", .width = 100, .height = 100},
         ModuleKind::VuMeter, 289, 257, 1, 1.0f, 60},
        {"scope at the largest side", {.display = "vu", .width = 8192, .height = 8192},
         ModuleKind::VuMeter, 289, 257, 28, 1.0f, 60},
        {"unknown display", {.display = "spiral"}, ModuleKind::History, 1280, 720, 1, 1.0f, 60},
        {"brightness above", {.brightness = 7}, ModuleKind::History, 1280, 720, 1, 2.0f, 60},
        {"brightness not a number", {.brightness = nan}, ModuleKind::History, 1280, 720, 1, 1.0f,
         60},
        {"rate above", {.callsPerSecond = 1e6}, ModuleKind::History, 1280, 720, 1, 1.0f, 1000},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SourcePicture picture = pictureFor(c.settings);
        EXPECT_EQ(picture.display.module, c.module);
        EXPECT_EQ(picture.display.width, c.width);
        EXPECT_EQ(picture.display.height, c.height);
        EXPECT_EQ(picture.scale, c.scale);
        EXPECT_LE(picture.textureWidth(), kMaxSide);
        EXPECT_LE(picture.textureHeight(), kMaxSide);
        EXPECT_FLOAT_EQ(picture.display.brightness, c.brightness);
        EXPECT_DOUBLE_EQ(picture.callsPerSecond, c.rate);
        EXPECT_EQ(picture.display.transparent, c.settings.transparent);
        EXPECT_EQ(picture.display.threeD, c.settings.threeD);
    }
}

TEST(SourceSettings, RebuildTheRunnerOnlyForWhatItCannotChangeLive) {
    struct Case {
        const char* name;
        SourceSettings after;
        bool rebuilt;
    };
    // clang-format off
    const Case cases[] = {
        {"nothing", {}, false},
        {"mode", {.threeD = false}, false},
        {"title", {.title = "Live"}, false},
        {"audio source", {.audioSource = "Mic/Aux"}, false},
        {"module", {.display = "vu"}, true},
        {"width", {.width = 640}, true},
        {"background", {.transparent = false}, true},
        {"call rate", {.callsPerSecond = 30}, true},
    };
    // clang-format on
    const SourcePicture before = pictureFor({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(needsNewRunner(before, pictureFor(c.after)), c.rebuilt);
    }
    // A scope's enlargement is the texture's alone: the runner stays.
    const SourcePicture scope =
        pictureFor({.display = "oscilloscope", .width = 289, .height = 257});
    const SourcePicture larger =
        pictureFor({.display = "oscilloscope", .width = 867, .height = 771});
    EXPECT_EQ(larger.scale, 3);
    EXPECT_FALSE(needsNewRunner(scope, larger));
}

} // namespace
} // namespace lumacore::obs::test
