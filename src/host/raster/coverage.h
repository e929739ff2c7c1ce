// Which pixels each primitive covers. These are the platform's rules (as its DIB engine applies
// them), kept in one place; every function clips to the bitmap and accepts any int coordinates.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/colour.h"
#include "host/raster/bitmap.h"

namespace lumacore::coverage {

// Fills columns left..right-1 of rows top..bottom-1 (half-open, already ordered).
void fillRect(Bitmap& bitmap, std::int64_t left, std::int64_t top, std::int64_t right,
              std::int64_t bottom, std::uint32_t pixel);

// A one-pixel line from `from` up to, not including, `to`.
void line(Bitmap& bitmap, Point from, Point to, std::uint32_t pixel);

// The interior of a closed polygon under the alternate (even-odd) rule.
void fillPolygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel);
// The same interior, always through the general path that sorts every row's crossings (the path
// for outlines that run down once and up once must cover exactly the same pixels).
void fillPolygonGeneral(Bitmap& bitmap, std::span<const Point> points, std::uint32_t pixel);

// A polygon as the platform draws it: the interior under the alternate rule in `brush`, then the
// closed outline (a line from each point to the next, and from the last to the first) in `pen`.
// The outline's upright sides are drawn together with the interior's rows where that gives the
// same pixels.
void polygon(Bitmap& bitmap, std::span<const Point> points, std::uint32_t brush, std::uint32_t pen);

// Copies the width x height block at (dx, 0) to (0, 0), as an overlapping block copy on one
// surface; only pixels whose source and destination both lie on the bitmap are copied.
void scroll(Bitmap& bitmap, int width, int height, int dx);

// Text: a width x height box of coverage values (0..255, rows top to bottom) with its top-left
// corner at (left, top) mixes `pixel` into what lies beneath, channel by channel (the top byte,
// an alpha channel where one is kept, too) and rounded;
// 255 replaces the pixel, 0 keeps it. A mask shorter than width * height draws nothing.
void blendMask(Bitmap& bitmap, std::int64_t left, std::int64_t top, int width, int height,
               const std::vector<std::uint8_t>& mask, std::uint32_t pixel);

} // namespace lumacore::coverage
