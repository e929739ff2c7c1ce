// Text from the system's fonts through FreeType: the face Arial resolves to, the platform's cell
// model (height, baseline, whole-pixel advances), clipping, and fonts that cannot be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "host/raster/freetype/freetype_text_renderer.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

constexpr Colour kPaper = rgb(250, 250, 250);
constexpr Colour kBack = rgb(10, 20, 30);
constexpr Colour kText = rgb(200, 220, 40);
constexpr Rect kEverywhere{-1000000, -1000000, 1000000, 1000000};

// Arial, or a face with Arial's metrics that stands in for it.
const std::set<std::string> kArialMetrics = {"Arial", "Liberation Sans", "Arimo"};

TEST(FreetypeText, ArialResolvesToAFontFileWithArialsMetrics) {
    FreetypeTextRenderer text;
    const std::optional<FontFile> file = text.resolve("Arial");
    ASSERT_TRUE(file) << text.lastError();
    EXPECT_TRUE(std::filesystem::is_regular_file(file->path)) << file->path;
    EXPECT_TRUE(kArialMetrics.count(file->family)) << file->family;
    // A name that is no font still leads to some face, never to nothing.
    const std::optional<FontFile> fallback = text.resolve("No Such Face: weight=bold");
    ASSERT_TRUE(fallback) << text.lastError();
    EXPECT_TRUE(std::filesystem::is_regular_file(fallback->path));
}

// Cells and advances are whole pixels, so ink may overhang its cells by a pixel, as the
// platform's does; never by more.
TEST(FreetypeText, CellHeightIsTheRequestedHeightAndGlyphsStayInTheCells) {
    for (const TextSmoothing smoothing : {TextSmoothing::Grey, TextSmoothing::Monochrome}) {
        FreetypeTextRenderer renderer(smoothing);
        for (const char* text : {"HgjyQ|_(", "Lumacore - Demo"})
            for (int height = 1; height <= 200; ++height) {
                SCOPED_TRACE(testing::Message() << "height " << height << " " << text);
                const TextRun run = renderer.layout(height, "Arial", text, kEverywhere);
                ASSERT_EQ(run.height, height) << renderer.lastError();
                ASSERT_GE(run.ascent, height / 2);
                ASSERT_LE(run.ascent, height);
                ASSERT_FALSE(run.glyphs.empty());
                for (const GlyphCoverage& glyph : run.glyphs) {
                    ASSERT_GE(glyph.top, -1);
                    ASSERT_LE(glyph.top + glyph.height, height + 1);
                    ASSERT_GE(glyph.left, -1);
                    ASSERT_LE(glyph.left + glyph.width, run.width + 1);
                    ASSERT_EQ(glyph.coverage.size(),
                              static_cast<std::size_t>(glyph.width) * glyph.height);
                }
            }
    }
}

// Advance widths that GDI gives Arial (here Liberation Sans, which has its metrics) under Wine,
// measured with GetCharWidth32A and GetTextExtentPoint32A for fonts made as the banner makes them.
TEST(FreetypeText, AdvancesMatchThePlatformsWithinAPixelPerGlyph) {
    const struct {
        int height;
        const char* text;
        int platformWidth;
    } cases[] = {{36, "L", 18},
                 {36, "u", 18},
                 {36, "m", 27},
                 {36, "c", 16},
                 {36, "r", 11},
                 {36, " ", 9},
                 {36, "-", 11},
                 {36, "D", 23},
                 {8, "Lumacore - Demo", 57},
                 {13, "Lumacore - Demo", 98},
                 {20, "Lumacore - Demo", 144},
                 {36, "Lumacore - Demo", 259},
                 {40, "Lumacore - Demo", 288},
                 {65, "Lumacore - Demo", 461},
                 {90, "Lumacore - Demo", 649},
                 {100, "Lumacore - Demo", 717}};
    FreetypeTextRenderer text;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " \"" << c.text << "\"");
        const TextRun run = text.layout(c.height, "Arial", c.text, kEverywhere);
        const int glyphs = static_cast<int>(std::string(c.text).size());
        EXPECT_LE(std::abs(run.width - c.platformWidth), glyphs);
    }
}

struct Canvas {
    FreetypeTextRenderer text;
    Bitmap bitmap;
    RasterSurface surface;
    Canvas(int w, int h, TextSmoothing smoothing = TextSmoothing::Grey)
        : text(smoothing), bitmap(w, h), surface(bitmap, &text) {
        bitmap.fill(kPaper);
        surface.setTextColour(kText);
        surface.setBackgroundColour(kBack);
    }
    // The smallest rectangle holding every pixel that is no longer paper (empty if none).
    Rect touched() const {
        Rect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x)
                if (bitmap.colourAt(x, y) != kPaper)
                    r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1),
                         std::max(r.bottom, y + 1)};
        return r.left == INT_MAX ? Rect{} : r;
    }
};

TEST(FreetypeText, TextOutFillsExactlyTheCellsAndInksInside) {
    const struct {
        int height;
        TextSmoothing smoothing;
    } cases[] = {{36, TextSmoothing::Grey},
                 {36, TextSmoothing::Monochrome},
                 {13, TextSmoothing::Grey},
                 {-20, TextSmoothing::Grey}};
    const std::string title = "Lumacore - Demo";
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "height " << c.height);
        Canvas canvas(400, 100, c.smoothing);
        canvas.surface.selectFont(c.height, "Arial");
        canvas.surface.textOut(7, 11, title);
        const TextRun run = canvas.text.layout(c.height, "Arial", title, kEverywhere);
        ASSERT_GT(run.height, 0) << canvas.text.lastError();
        EXPECT_EQ(canvas.touched(), (Rect{7, 11, 7 + run.width, 11 + run.height}));
        // Ink is the text colour where a glyph covers a pixel fully, between the two colours where
        // it covers it partly.
        int ink = 0;
        for (int y = 11; y < 11 + run.height; ++y)
            for (int x = 7; x < 7 + run.width; ++x) {
                const Colour c2 = canvas.bitmap.colourAt(x, y);
                ink += c2 != kBack;
                ASSERT_TRUE(redOf(c2) >= redOf(kBack) && redOf(c2) <= redOf(kText))
                    << x << "," << y;
            }
        EXPECT_GT(ink, run.width);
        // A negative height is the em height: the cell is taller than the em.
        if (c.height < 0) {
            EXPECT_GT(run.height, -c.height);
        }
    }
}

TEST(FreetypeText, CoverageHasTheSmoothingsLevels) {
    const struct {
        TextSmoothing smoothing;
        std::size_t maxLevels;
    } cases[] = {{TextSmoothing::Monochrome, 2}, {TextSmoothing::Grey, 17}};
    for (const auto& c : cases) {
        FreetypeTextRenderer text(c.smoothing);
        const TextRun run = text.layout(40, "Arial", "Quartz gewogen", kEverywhere);
        std::set<int> levels;
        for (const GlyphCoverage& glyph : run.glyphs)
            levels.insert(glyph.coverage.begin(), glyph.coverage.end());
        EXPECT_LE(levels.size(), c.maxLevels);
        EXPECT_GE(levels.size(), c.maxLevels == 2 ? 2u : 8u);
        EXPECT_TRUE(levels.count(0) && levels.count(255));
    }
}

TEST(FreetypeText, BytesAreReadAsWindows1252) {
    FreetypeTextRenderer text;
    const auto image = [&](const char* s) {
        const TextRun run = text.layout(40, "Arial", s, kEverywhere);
        std::vector<std::uint8_t> all;
        for (const GlyphCoverage& glyph : run.glyphs)
            all.insert(all.end(), glyph.coverage.begin(), glyph.coverage.end());
        return all;
    };
    // 0x80 is the euro sign, which the font has; 0x81 is undefined and shows the missing glyph.
    EXPECT_NE(image("\x80"), image("\x81"));
    EXPECT_FALSE(image("\x80").empty());
    // 0xE9 is e acute, not a second missing glyph.
    EXPECT_NE(image("\xE9"), image("\x81"));
}

TEST(FreetypeText, AbsurdHeightsAreRefusedWithAReasonAndEmptyTextDrawsNothing) {
    for (const int height :
         {0, 100000, -100000, INT_MAX, INT_MIN, FreetypeTextRenderer::kMaxHeight + 1}) {
        SCOPED_TRACE(testing::Message() << "height " << height);
        Canvas canvas(50, 50);
        canvas.surface.selectFont(height, "Arial");
        canvas.surface.textOut(0, 0, "Title");
        EXPECT_EQ(canvas.touched(), Rect{});
        EXPECT_EQ(canvas.text.layout(height, "Arial", "Title", kEverywhere).height, 0);
        EXPECT_NE(canvas.text.lastError().find(std::to_string(height)), std::string::npos)
            << canvas.text.lastError();
    }
    // An empty string in a good font has no cells to fill.
    Canvas canvas(50, 50);
    canvas.surface.selectFont(20, "Arial");
    canvas.surface.textOut(5, 5, "");
    EXPECT_EQ(canvas.touched(), Rect{});
    const TextRun run = canvas.text.layout(20, "Arial", "", kEverywhere);
    EXPECT_EQ(run.width, 0);
    EXPECT_TRUE(run.glyphs.empty());
}

TEST(FreetypeText, HugeAndLongTextIsClippedToTheBitmap) {
    const struct {
        const char* name;
        int height;
        int x, y;
        std::size_t length;
    } cases[] = {{"a million glyphs", 30, 0, 0, 1000000},
                 {"starting far left", 30, -1000000000, 0, 1000000},
                 {"starting near the right limit", 30, INT_MAX - 10, 0, 1000},
                 {"the largest font", FreetypeTextRenderer::kMaxHeight, -50, -2000, 3},
                 {"above the bitmap", 30, 0, -29, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas(120, 40);
        canvas.surface.selectFont(c.height, "Arial");
        const std::string text(c.length, 'W');
        canvas.surface.textOut(c.x, c.y, text);
        EXPECT_TRUE(canvas.text.lastError().empty()) << canvas.text.lastError();
        // The renderer gives only the glyphs that show, however long the text.
        const Rect visible{-c.x, -c.y, 120 - c.x, 40 - c.y};
        const TextRun run = canvas.text.layout(c.height, "Arial", text, visible);
        EXPECT_LE(run.glyphs.size(), 12u);
        for (const GlyphCoverage& glyph : run.glyphs) {
            EXPECT_GE(glyph.left, visible.left);
            EXPECT_LE(glyph.left + glyph.width, visible.right);
            EXPECT_GE(glyph.top, visible.top);
            EXPECT_LE(glyph.top + glyph.height, visible.bottom);
        }
    }
}

} // namespace
} // namespace lumacore
