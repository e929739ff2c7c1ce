// How a picture fills the pixels of a shared-memory buffer, which are laid out as the Bitmap's
// own (0x00RRGGBB words, XRGB8888 to the compositor).
#pragma once

#include <cstdint>

#include "host/raster/bitmap.h"

namespace lumacore::cli {

struct PixelTarget {
    std::uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    int stride = 0; // words from one row to the next
};

enum class PictureFit {
    Copy,        // pixel for pixel from the top left; what it does not cover is black
    WholeFactor, // enlarged by the largest whole factor that fits, centred on black
    Stretch,     // stretched to the target, nearest neighbour (a copy when the sizes match)
};

void drawPicture(const Bitmap& picture, PictureFit fit, const PixelTarget& target);

} // namespace lumacore::cli
