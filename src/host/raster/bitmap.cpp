#include "host/raster/bitmap.h"

#include <algorithm>

namespace lumacore {

namespace {

// Rows an odd number of 64-byte cache lines apart spread a vertical walk over every cache set.
int paddedStride(int width) {
    constexpr int kPixelsPerLine = 16;
    int lines = (width + kPixelsPerLine - 1) / kPixelsPerLine;
    if (lines % 2 == 0) ++lines;
    return std::max(width, lines * kPixelsPerLine);
}

} // namespace

Bitmap::Bitmap(int width, int height) {
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    stride_ = width < 64 ? width : paddedStride(width);
    pixels_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height), 0u);
}

std::vector<std::uint32_t> Bitmap::packed() const {
    std::vector<std::uint32_t> out;
    out.reserve(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y)
        out.insert(out.end(), row(y), row(y) + width_);
    return out;
}

Colour Bitmap::colourAt(int x, int y) const {
    if (!contains(x, y)) return kBlack;
    return colourOfPixel(row(y)[x]);
}

void Bitmap::fill(Colour colour, std::uint8_t alpha) {
    std::fill(pixels_.begin(), pixels_.end(), pixelOf(colour) | std::uint32_t{alpha} << 24);
}

} // namespace lumacore
