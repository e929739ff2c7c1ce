// A 32-bit pixel buffer laid out like a top-down 32-bit DIB section: one uint32 per pixel,
// 0x00RRGGBB, rows top to bottom. Rows lie `stride()` pixels apart: a little padding keeps the
// rows of a tall narrow shape from all landing in the same few cache sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/colour.h"

namespace lumacore {

class Bitmap {
  public:
    Bitmap() = default;
    // A bitmap of the given size, every pixel black. Negative sizes give an empty bitmap.
    Bitmap(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    int stride() const { return stride_; }
    std::uint32_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint32_t* row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * stride_;
    }
    // The pixels row after row without padding: width() * height() values.
    std::vector<std::uint32_t> packed() const;

    // The colour at (x, y) as a COLORREF; black outside the bitmap.
    Colour colourAt(int x, int y) const;
    // Every pixel `colour`, its top byte (an alpha channel, where one is kept) `alpha`.
    void fill(Colour colour, std::uint8_t alpha = 0);

  private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// A COLORREF (0x00BBGGRR) as a stored pixel (0x00RRGGBB), and back.
constexpr std::uint32_t pixelOf(Colour c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr Colour colourOfPixel(std::uint32_t p) {
    return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
}

} // namespace lumacore
