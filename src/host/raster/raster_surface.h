// The software rasteriser: the drawing operations of a window surface, applied to a Bitmap with
// the platform's exact coverage rules, so that it draws what the platform draws, pixel for pixel.
#pragma once

#include <cstdint>
#include <string>

#include "host/raster/bitmap.h"
#include "host/raster/text_renderer.h"
#include "host/surface.h"

namespace lumacore {

// The surface's selected objects and current position, as one visible record. A fresh surface
// has a black one-pixel pen, a white brush, its position at the origin, black text on a white
// background and no font (height 0, which text renderers refuse).
struct DrawState {
    Colour pen = kBlack;
    Colour brush = kWhite;
    Point position{};
    Colour textColour = kBlack;
    Colour backgroundColour = kWhite;
    int fontHeight = 0;
    std::string fontFace;
};

// Text goes through a TextRenderer, which the surface does not own and which must outlive it.
// Without one, textOut draws nothing at all: the size of the cells is unknown, so not even the
// background is filled.
class RasterSurface final : public Surface {
  public:
    explicit RasterSurface(Bitmap& bitmap, TextRenderer* textRenderer = nullptr)
        : bitmap_(bitmap), textRenderer_(textRenderer) {}

    void setPen(Colour colour) override { state_.pen = colour; }
    void setBrush(Colour colour) override { state_.brush = colour; }
    void rectangle(int left, int top, int right, int bottom) override;
    void polygon(std::span<const Point> points) override;
    void moveTo(int x, int y) override { state_.position = {x, y}; }
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Colour colour) override;
    void scrollLeft(int width, int height, int dx) override;
    void setTextColour(Colour colour) override { state_.textColour = colour; }
    void setBackgroundColour(Colour colour) override { state_.backgroundColour = colour; }
    void selectFont(int height, const std::string& face) override;
    void textOut(int x, int y, std::string_view text) override;
    void setOpacity(Opacity opacity) override { opacity_ = opacity; }

    // With an alpha channel, each pixel drawn carries its opacity in its top byte, by the opacity
    // set (setOpacity): 0xFF where the display drew solid, 0 where it cleared its background, its
    // brightest channel where it drew light, the glyphs' coverage on the banner's edges. The
    // colour bytes stay what is shown over black, which is never more than the alpha: the pixel
    // is premultiplied, and over black exactly the window's. Without one (the default) the top
    // byte stays 0 and the pixels are exactly those of a window.
    void keepAlpha(bool alpha) { keepsAlpha_ = alpha; }
    bool keepsAlpha() const { return keepsAlpha_; }

    void setTextRenderer(TextRenderer* textRenderer) { textRenderer_ = textRenderer; }

    const DrawState& state() const { return state_; }
    Bitmap& bitmap() { return bitmap_; }

  private:
    // A colour as a stored pixel, with the opacity of what is drawn now.
    std::uint32_t ink(Colour colour) const { return ink(colour, opacity_); }
    std::uint32_t ink(Colour colour, Opacity opacity) const;

    Bitmap& bitmap_;
    TextRenderer* textRenderer_;
    DrawState state_;
    bool keepsAlpha_ = false;
    Opacity opacity_ = Opacity::Solid;
};

} // namespace lumacore
