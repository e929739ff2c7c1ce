// The display laid over its background: each case a display word (alpha, premultiplied colour),
// a background word and the result worked out by hand, laid along rows long enough for the
// vectorised loop and its remainder; then a background smaller than the display, and in place.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "background/composite.h"

namespace lumacore::cli {
namespace {

struct MixRow {
    const char* what;
    std::uint32_t display; // 0xAARRGGBB, colour premultiplied
    std::uint32_t background;
    std::uint32_t expected;
};

const std::vector<MixRow> kMixes = {
    {"alpha 0 shows the background", 0x00000000, 0x123456, 0x123456},
    {"alpha 255 keeps the display", 0xFF8040C0, 0x123456, 0x8040C0},
    {"opaque black stays black", 0xFF000000, 0xFFFFFF, 0x000000},
    // 255 * 127 / 255 = 127; 128 * 127 / 255 = 63.75, rounded up; 0 * 127 = 0.
    {"alpha 128 adds the background's 127/255", 0x80402010, 0xFF8000, 0xBF6010},
    {"alpha 128 over white is white", 0x80808080, 0xFFFFFF, 0xFFFFFF},
    // 1, 2, 3 times 254/255: 0.996, 1.992, 2.988, each rounded up.
    {"a faint glyph edge", 0x01010101, 0x010203, 0x020304},
    {"alpha 254 adds the background's 1/255", 0xFE102030, 0xFFFFFF, 0x112131},
    {"the background's top byte means nothing", 0x00000000, 0xAB123456, 0x123456},
    // 128 * 239 / 255 = 119.97: red and blue go past 255 and stop there, green does not.
    {"a colour above its alpha saturates", 0x10FF00FF, 0x808080, 0xFF78FF},
};

// `width` x 3 bitmaps with mix (x + y) % count at each pixel.
Bitmap laidOut(int width, std::uint32_t MixRow::*field) {
    Bitmap picture(width, 3);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < width; ++x)
            picture.row(y)[x] = kMixes[(x + y) % kMixes.size()].*field;
    return picture;
}

TEST(Composite, MixesEveryPixelAsWorkedOut) {
    for (int width : {1, 9, 37, 130}) {
        const Bitmap display = laidOut(width, &MixRow::display);
        Bitmap out(5, 5); // another size: made the display's
        composite(display, laidOut(width, &MixRow::background), out);
        ASSERT_EQ(out.width(), width);
        ASSERT_EQ(out.height(), 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                const MixRow& mix = kMixes[(x + y) % kMixes.size()];
                EXPECT_EQ(out.row(y)[x], mix.expected)
                    << mix.what << " (width " << width << ", at " << x << "," << y << ")";
            }
    }
}

TEST(Composite, WorksInPlace) {
    const Bitmap background = laidOut(37, &MixRow::background);
    Bitmap picture = laidOut(37, &MixRow::display);
    composite(picture, background, picture);
    EXPECT_EQ(picture.packed(), laidOut(37, &MixRow::expected).packed());
}

TEST(Composite, TakesBlackWhereTheBackgroundIsMissing) {
    Bitmap display(20, 6);
    for (int y = 0; y < 6; ++y)
        std::fill_n(display.row(y), 20, 0x80402010u);
    Bitmap background(13, 4);
    for (int y = 0; y < 4; ++y)
        std::fill_n(background.row(y), 13, 0xFF8000u);
    Bitmap out;
    composite(display, background, out);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(out.row(y)[x], x < 13 && y < 4 ? 0xBF6010u : 0x402010u) << x << "," << y;
}

} // namespace
} // namespace lumacore::cli
