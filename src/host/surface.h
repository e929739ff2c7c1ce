// The drawing operations the renderers rely on, in the platform's own vocabulary. One surface is
// a window's drawing surface (GDI) or a pixel buffer (the software rasteriser); both honour the
// same coverage rules, so a renderer draws the same pixels on either.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "host/colour.h"

namespace lumacore {

class Surface {
  public:
    virtual ~Surface() = default;

    // A solid one-pixel pen of this colour replaces the selected one (which is released).
    virtual void setPen(Colour colour) = 0;
    // A solid brush of this colour replaces the selected one (which is released).
    virtual void setBrush(Colour colour) = 0;

    // Outline in the pen colour, interior in the brush colour; covers columns left..right-1 and
    // rows top..bottom-1. Corners may come in either order.
    virtual void rectangle(int left, int top, int right, int bottom) = 0;
    // Closed polygon, filled with the brush (alternate rule), then outlined with the pen.
    virtual void polygon(std::span<const Point> points) = 0;
    // Sets the current position.
    virtual void moveTo(int x, int y) = 0;
    // One-pixel line in the pen colour from the current position up to, not including, (x, y),
    // which becomes the current position.
    virtual void lineTo(int x, int y) = 0;
    virtual void setPixel(int x, int y, Colour colour) = 0;
    // Copies the block at (dx, 0) of size width x height to (0, 0) on the same surface; pixels
    // the source does not cover keep their content. Non-positive sizes copy nothing.
    virtual void scrollLeft(int width, int height, int dx) = 0;

    // Text, as the platform draws it in its default opaque mode: glyphs in the text colour, the
    // cells behind them filled with the background colour.
    virtual void setTextColour(Colour colour) = 0;
    virtual void setBackgroundColour(Colour colour) = 0;
    // Creates and selects a font (the replaced one is released). `height` is the platform's font
    // height: a positive value is the cell height (ascent plus descent) in pixels, a negative one
    // the em height; regular weight, no italic, underline or strike-out, default character set.
    virtual void selectFont(int height, const std::string& face) = 0;
    // Writes `text` (bytes in the Windows ANSI code page) in the selected font with its cells'
    // top-left corner at (x, y).
    virtual void textOut(int x, int y, std::string_view text) = 0;

    // How what is drawn from here on covers what lies behind the display, on a surface that
    // keeps an alpha channel; a window has no use for it. Whatever the opacity, the colour is what
    // the window shows, so that over black the picture is the window's.
    enum class Opacity {
        Solid, // the display's picture
        Clear, // the display's background (its clearing); text keeps its glyphs solid and only
               // its cells take it
        Light, // light on black: as opaque as its brightest channel
    };
    virtual void setOpacity(Opacity /*opacity*/) {}
};

} // namespace lumacore
