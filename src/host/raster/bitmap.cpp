#include "host/raster/bitmap.h"

#include <algorithm>

namespace lumacore {

Bitmap::Bitmap(int width, int height) {
    if (width <= 0 || height <= 0) return;
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
}

Colour Bitmap::colourAt(int x, int y) const {
    if (!contains(x, y)) return kBlack;
    return colourOfPixel(row(y)[x]);
}

void Bitmap::fill(Colour colour) {
    std::fill(pixels_.begin(), pixels_.end(), pixelOf(colour));
}

} // namespace lumacore
