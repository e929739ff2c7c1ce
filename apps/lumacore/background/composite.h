// The display laid over a background picture. In transparent mode the display's pixels are
// 0xAARRGGBB words whose alpha says how much of the pixel it drew (0 where it left its
// background, 255 where it drew solid, in between on the banner's glyph edges and on the 2D
// bands, as opaque as their brightest channel) and whose colour is premultiplied: what the
// display shows over black, never above the alpha. Outside transparent mode the alpha is 0
// everywhere and means nothing: such a display is shown as it is, and never composited.
#pragma once

#include "host/raster/bitmap.h"

namespace lumacore::cli {

// Sets `out` (made the display's size when it is not) to the display over `background`: per
// channel, the display's colour plus the background's times (255 - alpha) / 255, rounded, at
// most 255. Alpha 255 keeps the display's pixel, alpha 0 shows the background's. The alpha byte
// of `out` is 0. Where the background is smaller than the display, it is black. `out` may be
// `display` itself.
void composite(const Bitmap& display, const Bitmap& background, Bitmap& out);

} // namespace lumacore::cli
