// The drawing operations on a GDI device context, each one platform call; pens, brushes and
// fonts are created here and deleted once replaced or released.
#include "host/win32/gdi_surface.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace lumacore {

void GdiSurface::replace(HGDIOBJ object, HGDIOBJ& own, HGDIOBJ& original) {
    if (object == nullptr) return;
    HGDIOBJ previous = SelectObject(dc_, object);
    if (own != nullptr)
        DeleteObject(own);
    else
        original = previous;
    own = object;
}

void GdiSurface::setPen(Colour colour) {
    replace(CreatePen(PS_SOLID, 0, colour), pen_, originalPen_);
}

void GdiSurface::setBrush(Colour colour) {
    replace(CreateSolidBrush(colour), brush_, originalBrush_);
}

void GdiSurface::selectFont(HFONT font) {
    replace(font, font_, originalFont_);
}

void GdiSurface::rectangle(int left, int top, int right, int bottom) {
    Rectangle(dc_, left, top, right, bottom);
}

void GdiSurface::polygon(std::span<const Point> points) {
    if (points.size() < 2) return;
    std::vector<POINT> vertices;
    vertices.reserve(points.size());
    for (const Point p : points)
        vertices.push_back({p.x, p.y});
    Polygon(dc_, vertices.data(), static_cast<int>(vertices.size()));
}

void GdiSurface::moveTo(int x, int y) {
    MoveToEx(dc_, x, y, nullptr);
}

void GdiSurface::lineTo(int x, int y) {
    LineTo(dc_, x, y);
}

void GdiSurface::setPixel(int x, int y, Colour colour) {
    SetPixel(dc_, x, y, colour);
}

void GdiSurface::scrollLeft(int width, int height, int dx) {
    if (width <= 0 || height <= 0) return;
    BitBlt(dc_, 0, 0, width, height, dc_, dx, 0, SRCCOPY);
}

void GdiSurface::setTextColour(Colour colour) {
    SetTextColor(dc_, colour);
}

void GdiSurface::setBackgroundColour(Colour colour) {
    SetBkColor(dc_, colour);
}

void GdiSurface::selectFont(int height, const std::string& face) {
    selectFont(CreateFontA(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                           face.c_str()));
}

void GdiSurface::textOut(int x, int y, std::string_view text) {
    const auto length = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    TextOutA(dc_, x, y, text.data(), length);
}

void GdiSurface::release() {
    if (pen_ != nullptr) {
        SelectObject(dc_, originalPen_);
        DeleteObject(pen_);
        pen_ = originalPen_ = nullptr;
    }
    if (brush_ != nullptr) {
        SelectObject(dc_, originalBrush_);
        DeleteObject(brush_);
        brush_ = originalBrush_ = nullptr;
    }
    if (font_ != nullptr) {
        SelectObject(dc_, originalFont_);
        DeleteObject(font_);
        font_ = originalFont_ = nullptr;
    }
}

} // namespace lumacore
