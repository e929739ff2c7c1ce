// A decoded picture scaled to cover an area: scaled by the larger of the two ratios, so that it
// fills the area in both directions, centred, and what overflows cropped.
#pragma once

#include "ffmpeg/ffmpeg_owners.h"
#include "host/raster/bitmap.h"

namespace lumacore::cli {

// `picture` (any pixel format libswscale reads) covering `width` x `height` pixels, as
// 0x00RRGGBB words; transparent parts over black. The crop is whole source pixels: the centre
// may lie up to one source pixel off. Throws PictureProblem when libswscale cannot convert.
Bitmap scaleToCover(const AVFrame& picture, int width, int height);

} // namespace lumacore::cli
