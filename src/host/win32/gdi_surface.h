// The drawing operations on a real GDI device context. A colour change puts the surface's own
// pen or brush back, deletes ours, then creates and selects the new one, so that never more than
// one pen and one brush (and font) of ours are alive on the surface, not even between two calls.
// The surface's own objects, returned by the first selection, are put back by release() (and by the
// destructor) before the DC goes away.
#pragma once

#include <windows.h>

#include "host/surface.h"

namespace lumacore {

class GdiSurface final : public Surface {
  public:
    explicit GdiSurface(HDC dc) : dc_(dc) {}
    ~GdiSurface() override { release(); }
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;

    void setPen(Colour colour) override;
    void setBrush(Colour colour) override;
    void rectangle(int left, int top, int right, int bottom) override;
    void polygon(std::span<const Point> points) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void setPixel(int x, int y, Colour colour) override;
    void scrollLeft(int width, int height, int dx) override;
    void setTextColour(Colour colour) override;
    void setBackgroundColour(Colour colour) override;
    // CreateFontA with this height and face, every other parameter 0 apart from DEFAULT_CHARSET.
    void selectFont(int height, const std::string& face) override;
    void textOut(int x, int y, std::string_view text) override;

    // Deletes the font of ours in use and selects `font`, ours from now on.
    void selectFont(HFONT font);

    // Selects the surface's own pen, brush and font back and deletes ours. Drawing afterwards
    // starts again from the surface's own objects.
    void release();

    HDC dc() const { return dc_; }

  private:
    // Selects the surface's `original` object back in place of `own` and deletes `own`.
    void retire(HGDIOBJ& own, HGDIOBJ original);
    // Selects `object` (ours from now on); the first selection tells the surface's own object.
    void adopt(HGDIOBJ object, HGDIOBJ& own, HGDIOBJ& original);

    HDC dc_;
    HGDIOBJ pen_ = nullptr;
    HGDIOBJ brush_ = nullptr;
    HGDIOBJ originalPen_ = nullptr;
    HGDIOBJ originalBrush_ = nullptr;
    HGDIOBJ font_ = nullptr;
    HGDIOBJ originalFont_ = nullptr;
};

} // namespace lumacore
