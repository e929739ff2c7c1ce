// The rasteriser's drawing operations: each applies the platform's coverage rule (coverage.cpp)
// with the colours of the surface's DrawState.
#include "host/raster/raster_surface.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "host/raster/coverage.h"

namespace lumacore {

std::uint32_t RasterSurface::ink(Colour colour, Opacity opacity) const {
    const std::uint32_t pixel = pixelOf(colour);
    if (!keepsAlpha_) return pixel;
    switch (opacity) {
    case Opacity::Solid:
        return pixel | 0xFF000000u;
    case Opacity::Clear:
        return pixel;
    case Opacity::Light:
        break;
    }
    // Light: no channel is above the alpha, so the pixel stays premultiplied.
    const std::uint32_t brightest = std::max({pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF});
    return pixel | brightest << 24;
}

void RasterSurface::rectangle(int left, int top, int right, int bottom) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    // An empty rectangle draws nothing, not even its outline.
    if (left == right || top == bottom) return;

    // The outline runs round the covered cells (the last column and row are right-1, bottom-1),
    // anticlockwise from the top-right corner, each side stopping before the next corner.
    const int lastX = right - 1;
    const int lastY = bottom - 1;
    const std::uint32_t pen = ink(state_.pen);
    const std::array<Point, 4> corners{{{lastX, top}, {left, top}, {left, lastY}, {lastX, lastY}}};
    for (std::size_t i = 0; i < corners.size(); ++i)
        coverage::line(bitmap_, corners[i], corners[(i + 1) % corners.size()], pen);

    // The brush fills what lies strictly inside the outline.
    coverage::fillRect(bitmap_, std::int64_t{left} + 1, std::int64_t{top} + 1, lastX, lastY,
                       ink(state_.brush));
}

void RasterSurface::polygon(std::span<const Point> points) {
    coverage::polygon(bitmap_, points, ink(state_.brush), ink(state_.pen));
}

void RasterSurface::lineTo(int x, int y) {
    coverage::line(bitmap_, state_.position, {x, y}, ink(state_.pen));
    state_.position = {x, y};
}

void RasterSurface::setPixel(int x, int y, Colour colour) {
    if (bitmap_.contains(x, y)) bitmap_.row(y)[x] = ink(colour);
}

void RasterSurface::scrollLeft(int width, int height, int dx) {
    coverage::scroll(bitmap_, width, height, dx);
}

void RasterSurface::selectFont(int height, const std::string& face) {
    state_.fontHeight = height;
    state_.fontFace = face;
}

namespace {

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

void RasterSurface::textOut(int x, int y, std::string_view text) {
    if (textRenderer_ == nullptr || text.empty()) return;
    // What of the bitmap the text can reach, in the text's own coordinates.
    const Rect visible{clampToInt(-std::int64_t{x}), clampToInt(-std::int64_t{y}),
                       clampToInt(std::int64_t{bitmap_.width()} - x),
                       clampToInt(std::int64_t{bitmap_.height()} - y)};
    if (visible.right <= 0 || visible.bottom <= 0) return;
    const TextRun run = textRenderer_->layout(state_.fontHeight, state_.fontFace, text, visible);
    if (run.height <= 0 || run.width <= 0) return;

    coverage::fillRect(bitmap_, x, y, std::int64_t{x} + run.width, std::int64_t{y} + run.height,
                       ink(state_.backgroundColour));
    // The glyphs are the picture, even over a background's cells.
    const std::uint32_t glyphs = ink(state_.textColour, Opacity::Solid);
    for (const GlyphCoverage& glyph : run.glyphs)
        coverage::blendMask(bitmap_, std::int64_t{x} + glyph.left, std::int64_t{y} + glyph.top,
                            glyph.width, glyph.height, glyph.coverage, glyphs);
}

} // namespace lumacore
