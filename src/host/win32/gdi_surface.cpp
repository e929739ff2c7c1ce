// The drawing operations on a GDI device context, each one platform call; pens, brushes and
// fonts are created here and deleted once replaced or released.
#include "host/win32/gdi_surface.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace lumacore {

void GdiSurface::retire(HGDIOBJ& own, HGDIOBJ original) {
    if (own == nullptr) return;
    SelectObject(dc_, original);
    DeleteObject(own);
    own = nullptr;
}

void GdiSurface::adopt(HGDIOBJ object, HGDIOBJ& own, HGDIOBJ& original) {
    if (object == nullptr) return; // the surface's own object stays selected
    HGDIOBJ previous = SelectObject(dc_, object);
    if (original == nullptr) original = previous;
    own = object;
}

void GdiSurface::setPen(Colour colour) {
    retire(pen_, originalPen_);
    adopt(CreatePen(PS_SOLID, 0, colour), pen_, originalPen_);
}

void GdiSurface::setBrush(Colour colour) {
    retire(brush_, originalBrush_);
    adopt(CreateSolidBrush(colour), brush_, originalBrush_);
}

void GdiSurface::selectFont(HFONT font) {
    if (font == nullptr) return;
    retire(font_, originalFont_);
    adopt(font, font_, originalFont_);
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
    retire(font_, originalFont_);
    adopt(CreateFontA(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                      face.c_str()),
          font_, originalFont_);
}

void GdiSurface::textOut(int x, int y, std::string_view text) {
    const auto length = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    TextOutA(dc_, x, y, text.data(), length);
}

void GdiSurface::release() {
    retire(pen_, originalPen_);
    retire(brush_, originalBrush_);
    retire(font_, originalFont_);
    originalPen_ = originalBrush_ = originalFont_ = nullptr;
}

} // namespace lumacore
