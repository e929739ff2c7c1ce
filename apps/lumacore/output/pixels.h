// The module's pixels (0x00RRGGBB words, as the bitmap holds them) in the layouts the outputs
// write, enlarged by a whole factor with nearest-neighbour sampling. Each output converts once,
// to what it needs: raw frames to R, G, B, A bytes, PNG to R, G, B bytes, videos keep the words
// (the colour conversion reads them as they are) and only enlarge or pad them.
#pragma once

#include <cstdint>
#include <vector>

#include "host/raster/bitmap.h"

namespace lumacore::cli {

// Fills `out` (resized as needed) with `picture` enlarged `scale` times: R, G, B, 255 per pixel.
void toRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out);
// The same with the picture's own alpha channel (the words' top byte, see Display::transparent):
// R, G, B, A per pixel, the colour unassociated from the alpha. The words' colour is what shows
// over black; each channel c of a pixel of alpha a becomes the s whose mix over black,
// (s * a + 127) / 255 (the rasteriser's own rounding), is c again. A pixel brighter than its
// alpha allows has its alpha raised to its brightest channel, so that this always holds.
void toStraightRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out);
// The same for `count` packed words, into 4 * count bytes.
void straightRgba(const std::uint32_t* words, std::size_t count, std::uint8_t* out);
// The same without the alpha byte: R, G, B per pixel.
void toRgb(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out);
// `picture` enlarged `scale` times into `width` x `height` words (rows packed), the last column
// and row repeated where the area is larger than the enlarged picture.
void enlarge(const Bitmap& picture, int scale, int width, int height,
             std::vector<std::uint32_t>& out);
// The same into `out`, at its own size.
void enlarge(const Bitmap& picture, int scale, Bitmap& out);

} // namespace lumacore::cli
