// The software rasteriser: the drawing operations of a window surface, applied to a Bitmap with
// the platform's exact coverage rules, so that it draws what the platform draws, pixel for pixel.
#pragma once

#include "host/raster/bitmap.h"
#include "host/surface.h"

namespace lumacore {

// The surface's selected objects and current position, as one visible record. A fresh surface
// has a black one-pixel pen, a white brush and its position at the origin.
struct DrawState {
    Colour pen = kBlack;
    Colour brush = kWhite;
    Point position{};
};

class RasterSurface final : public Surface {
  public:
    explicit RasterSurface(Bitmap& bitmap) : bitmap_(bitmap) {}

    void setPen(Colour colour) override { state_.pen = colour; }
    void setBrush(Colour colour) override { state_.brush = colour; }
    void rectangle(int left, int top, int right, int bottom) override;
    void polygon(std::span<const Point> points) override;
    void moveTo(int x, int y) override { state_.position = {x, y}; }
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Colour colour) override;
    void scrollLeft(int width, int height, int dx) override;

    const DrawState& state() const { return state_; }
    Bitmap& bitmap() { return bitmap_; }

  private:
    Bitmap& bitmap_;
    DrawState state_;
};

} // namespace lumacore
