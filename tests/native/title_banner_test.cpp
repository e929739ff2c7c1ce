// Text on the rasteriser through a stand-in text renderer, the title banner drawn on it, and the
// runtime's random sequence that colours the banner.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "history/title_banner.h"
#include "host/msvc_rand.h"
#include "host/raster/coverage.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

constexpr Colour kPaper = rgb(250, 250, 250);
constexpr Colour kBack = rgb(10, 20, 30);
constexpr Colour kText = rgb(200, 40, 40);

// A stand-in font: every byte is a cell kAdvance pixels wide holding one full-height bar at its
// second column. It records what it was asked for; a non-positive height is refused.
class BarFont final : public TextRenderer {
  public:
    static constexpr int kAdvance = 5;

    struct Call {
        int height;
        std::string face;
        std::string text;
        Rect visible;
    };
    std::vector<Call> calls;

    TextRun layout(int height, const std::string& face, std::string_view text,
                   const Rect& visible) override {
        calls.push_back({height, face, std::string(text), visible});
        TextRun run;
        if (height <= 0) return run;
        run.height = height;
        run.ascent = height - 1;
        run.width = kAdvance * static_cast<int>(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            GlyphCoverage& bar = run.glyphs.emplace_back();
            bar.left = kAdvance * static_cast<int>(i) + 1;
            bar.width = 1;
            bar.height = height;
            bar.coverage.assign(static_cast<std::size_t>(height), 255);
        }
        return run;
    }
};

// Whether (x, y) lies on a bar of BarFont text written at (left, top).
bool onBar(int x, int y, int left, int top, int length, int height) {
    const int column = x - left;
    return column >= 0 && column < BarFont::kAdvance * length && column % BarFont::kAdvance == 1 &&
           y >= top && y < top + height;
}

struct TextCanvas {
    Bitmap bitmap;
    BarFont font;
    RasterSurface surface;
    TextCanvas(int w, int h) : bitmap(w, h), surface(bitmap, &font) {
        bitmap.fill(kPaper);
        surface.setTextColour(kText);
        surface.setBackgroundColour(kBack);
    }
};

TEST(RasterText, FillsTheCellsAndDrawsTheGlyphsClippedToTheBitmap) {
    const struct {
        int x, y;
    } places[] = {{3, 4}, {-7, -3}, {30, 15}, {0, 0}, {INT_MIN, 5}, {5, INT_MAX}};
    const std::string text = "abcd";
    const int height = 10;
    for (const auto& at : places) {
        SCOPED_TRACE(testing::Message() << "at " << at.x << "," << at.y);
        TextCanvas canvas(40, 20);
        canvas.surface.selectFont(height, "Arial");
        canvas.surface.textOut(at.x, at.y, text);
        const long long right = static_cast<long long>(at.x) + BarFont::kAdvance * 4;
        const long long bottom = static_cast<long long>(at.y) + height;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool inCell = x >= at.x && x < right && y >= at.y && y < bottom;
                const Colour expected =
                    !inCell ? kPaper : (onBar(x, y, at.x, at.y, 4, height) ? kText : kBack);
                ASSERT_EQ(canvas.bitmap.colourAt(x, y), expected) << x << "," << y;
            }
        // The renderer is asked only for text that can reach the bitmap, and told what shows.
        if (at.y == INT_MAX) {
            EXPECT_TRUE(canvas.font.calls.empty());
        }
        if (!canvas.font.calls.empty() && at.x > INT_MIN) {
            const Rect& v = canvas.font.calls[0].visible;
            EXPECT_EQ(v.right - v.left, 40);
            EXPECT_EQ(v.bottom - v.top, 20);
            EXPECT_EQ(v.left, -at.x);
        }
    }
}

TEST(RasterText, DrawsNothingWithoutARendererAFontOrText) {
    const struct {
        const char* name;
        bool renderer;
        int height;
        std::string text;
    } cases[] = {{"no renderer", false, 10, "abc"},
                 {"refused font", true, 0, "abc"},
                 {"empty text", true, 10, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextCanvas canvas(20, 20);
        if (!c.renderer) canvas.surface.setTextRenderer(nullptr);
        canvas.surface.selectFont(c.height, "Arial");
        canvas.surface.textOut(2, 2, c.text);
        EXPECT_EQ(canvas.bitmap.packed(), std::vector<std::uint32_t>(400, pixelOf(kPaper)));
    }
}

TEST(RasterText, PartialCoverageMixesTheTextColourIntoThePixel) {
    Bitmap bitmap(3, 1);
    bitmap.fill(rgb(0, 0, 200));
    coverage::blendMask(bitmap, 0, 0, 3, 1, {0, 128, 255}, pixelOf(rgb(200, 100, 0)));
    EXPECT_EQ(bitmap.colourAt(0, 0), rgb(0, 0, 200));
    EXPECT_EQ(bitmap.colourAt(2, 0), rgb(200, 100, 0));
    const Colour half = bitmap.colourAt(1, 0);
    EXPECT_NEAR(redOf(half), 100, 1);
    EXPECT_NEAR(greenOf(half), 50, 1);
    EXPECT_NEAR(blueOf(half), 100, 1);
    // A mask shorter than its box is ignored rather than read past its end.
    coverage::blendMask(bitmap, 0, 0, 3, 2, {255, 255, 255}, pixelOf(kWhite));
    EXPECT_EQ(bitmap.colourAt(0, 0), rgb(0, 0, 200));
}

// The first values of the runtime's rand() in a fresh thread, as every C runtime of the platform
// has produced them.
constexpr int kFirstRand[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};

TEST(MsvcRand, StartsWhereTheRuntimeStartsAndSeedsLikeSrand) {
    MsvcRand fresh;
    for (const int value : kFirstRand)
        EXPECT_EQ(fresh(), value);
    MsvcRand seeded(1);
    EXPECT_EQ(seeded(), kFirstRand[0]);
    // Every value stays within 0..32767 whatever the state.
    MsvcRand any(0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        const int value = any();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

struct Banner {
    Bitmap bitmap;
    BarFont font;
    RasterSurface surface;
    HistoryState state;
    Banner(int w, int h) : bitmap(w, h), surface(bitmap, &font) {
        bitmap.fill(kPaper);
        state.windowWidth = w;
        state.windowHeight = h;
        state.backgroundColour = kBack;
    }
};

TEST(TitleBanner, ClearsTheStripAndWritesTheTitleInTheFirstRandomColour) {
    // Strip tops and font heights: (1 - 0.09f) is 0.90999999642..., so 400 rows give a strip
    // from row 363 and a 36-pixel font, 450 rows 409 and 40.
    const struct {
        int width, height, top, fontHeight;
    } sizes[] = {{600, 400, 363, 36}, {800, 450, 409, 40}, {300, 100, 90, 9}, {50, 12, 10, 1}};
    // blue, green, red = 230 * (41, 18467, 6334) / 32767
    const Colour textColour = rgb(44, 129, 0);
    const std::string title = "Second Title Here";
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        Banner banner(size.width, size.height);
        MsvcRand rand;
        drawTitleBanner(banner.state, banner.surface, title.c_str(), [&] { return rand(); });

        ASSERT_EQ(banner.font.calls.size(), 1u);
        EXPECT_EQ(banner.font.calls[0].height, size.fontHeight);
        EXPECT_EQ(banner.font.calls[0].face, "Arial");
        EXPECT_EQ(banner.font.calls[0].text, title);
        EXPECT_EQ(banner.surface.state().backgroundColour, kBack);
        EXPECT_EQ(banner.surface.state().textColour, textColour);

        const int length = static_cast<int>(title.size());
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                Colour expected = y < size.top ? kPaper : kBack;
                if (onBar(x, y, 0, size.top, length, size.fontHeight)) expected = textColour;
                ASSERT_EQ(banner.bitmap.colourAt(x, y), expected) << x << "," << y;
            }
    }
}

TEST(TitleBanner, NullTitleClearsTheStripButStillDrawsTheColourAndSelectsTheFont) {
    Banner banner(200, 100);
    int draws = 0;
    drawTitleBanner(banner.state, banner.surface, nullptr, [&] { return ++draws * 1000; });
    EXPECT_EQ(draws, 3);
    EXPECT_TRUE(banner.font.calls.empty());
    EXPECT_EQ(banner.surface.state().fontHeight, 9);
    EXPECT_EQ(banner.surface.state().fontFace, "Arial");
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(banner.bitmap.colourAt(x, y), y < 90 ? kPaper : kBack) << x << "," << y;
}

TEST(TitleBanner, GeneratorValuesOutsideItsRangeAreHeldToIt) {
    const struct {
        int blue, green, red;
        Colour expected;
    } cases[] = {{-5, 40000, INT_MAX, rgb(230, 230, 0)},
                 {INT_MIN, 32767, 0, rgb(0, 230, 0)},
                 {32767, 16384, 1, rgb(0, 115, 230)}};
    for (const auto& c : cases) {
        Banner banner(100, 100);
        const int values[] = {c.blue, c.green, c.red};
        int next = 0;
        drawTitleBanner(banner.state, banner.surface, "x", [&] { return values[next++]; });
        EXPECT_EQ(banner.surface.state().textColour, c.expected);
    }
}

TEST(TitleBanner, EmptyOrAbsurdClientAreasClearOnlyWhatLiesOnTheBitmap) {
    // A 5 x 3 client has a one-row strip at row 2 and a font of height 0, which draws no text.
    const struct {
        int width, height;
        Rect cleared;
    } sizes[] = {{0, 0, {}}, {-10, -10, {}}, {INT_MAX, INT_MAX, {}}, {5, 3, {0, 2, 5, 3}}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        Banner banner(20, 20);
        banner.state.windowWidth = size.width;
        banner.state.windowHeight = size.height;
        MsvcRand rand;
        drawTitleBanner(banner.state, banner.surface, "title", [&] { return rand(); });
        const Rect& r = size.cleared;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool cleared = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                ASSERT_EQ(banner.bitmap.colourAt(x, y), cleared ? kBack : kPaper) << x << "," << y;
            }
    }
}

} // namespace
} // namespace lumacore
