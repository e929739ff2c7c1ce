// Text for the rasteriser from the browser's canvas: the face at the height asked for, drawn in
// white on black by the browser and read back as coverage. Close to the native text (the same
// cell box where the browser has the font or a metric-compatible one), not the same pixels: the
// browser's fonts and anti-aliasing draw the glyphs.
#pragma once

#include "host/raster/text_renderer.h"

namespace lumacore::web {

class CanvasTextRenderer final : public TextRenderer {
  public:
    TextRun layout(int height, const std::string& face, std::string_view text,
                   const Rect& visible) override;
};

} // namespace lumacore::web
