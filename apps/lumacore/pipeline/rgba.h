// A picture as the outputs take it: 8-bit R, G, B, A per pixel, optionally enlarged by an
// integer factor with nearest-neighbour sampling.
#pragma once

#include <cstdint>
#include <vector>

#include "host/raster/bitmap.h"

namespace lumacore::cli {

// Fills `out` (resized as needed) with `picture` enlarged `scale` times, alpha 255.
void toRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out);

} // namespace lumacore::cli
