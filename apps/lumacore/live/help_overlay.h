// The keys drawn over the picture (F1 or H), through the rasteriser and the project's FreeType
// text renderer, until the next key.
#pragma once

#include "host/raster/bitmap.h"
#include "host/raster/text_renderer.h"

namespace lumacore::cli {

// Draws the key list in white on black lines at the picture's top left, its size following the
// picture's height.
void drawKeyHelp(Bitmap& picture, TextRenderer& text);

} // namespace lumacore::cli
