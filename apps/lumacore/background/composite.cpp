// The compositing loop, written for the vectoriser (this file is built at -O3). Red and blue go
// through together, in the two 16-bit halves of one word (255 * 255 fits in 16 bits), green
// alone: per pixel two multiplies and a few shifts and masks, eight pixels at once with AVX2.
#include "background/composite.h"

#include <algorithm>
#include <cstdint>

#include "output/row_kernel.h"

namespace lumacore::cli {
namespace {

// x / 255 rounded is (y + (y >> 8)) >> 8 with y = x + 128, exactly, for every x up to 255 * 255;
// below, each 16-bit half of a word at once. A colour above its alpha (never, in a well-made
// display) saturates at 255 instead of carrying into its neighbour.
// `out` may be `display` (each word is read before it is written) but not `background`.
LUMACORE_ROW_KERNEL
void compositeRow(const std::uint32_t* display, const std::uint32_t* background, std::uint32_t* out,
                  int width) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t d = display[x];
        const std::uint32_t b = background[x];
        const std::uint32_t uncovered = 255 - (d >> 24);
        std::uint32_t redBlue = (b & 0x00FF00FF) * uncovered + 0x00800080;
        redBlue = ((redBlue + ((redBlue >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
        redBlue += d & 0x00FF00FF;
        redBlue = (redBlue | ((redBlue >> 8) & 0x00010001) * 0xFF) & 0x00FF00FF;
        std::uint32_t green = ((b >> 8) & 0xFF) * uncovered + 0x80;
        green = ((green + (green >> 8)) >> 8) + ((d >> 8) & 0xFF);
        out[x] = redBlue | std::min(green, 0xFFu) << 8;
    }
}

// Over black: the premultiplied colour itself.
LUMACORE_ROW_KERNEL
void colourRow(const std::uint32_t* display, std::uint32_t* out, int width) {
    for (int x = 0; x < width; ++x)
        out[x] = display[x] & 0x00FFFFFF;
}

} // namespace

void composite(const Bitmap& display, const Bitmap& background, Bitmap& out) {
    const int width = display.width(), height = display.height();
    if (out.width() != width || out.height() != height) out = Bitmap(width, height);
    const int shared = std::min(width, background.width());
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* from = display.row(y);
        std::uint32_t* to = out.row(y);
        const int over = y < background.height() ? shared : 0;
        if (over > 0) compositeRow(from, background.row(y), to, over);
        colourRow(from + over, to + over, width - over);
    }
}

} // namespace lumacore::cli
