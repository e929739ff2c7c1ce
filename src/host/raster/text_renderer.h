// The rasteriser's source of text: turns a font (height and face name, as the platform's font
// creation takes them) and a string into the text's cell box and the coverage of its glyphs. The
// rasteriser fills the cells and blends the glyphs; how fonts are found and drawn is left to an
// implementation outside the portable core (FreeType natively).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/colour.h"

namespace lumacore {

// One glyph's coverage box, placed relative to the text's origin (the top-left corner of its
// first cell). A glyph may reach outside the cells (an overhang), never outside `visible`.
struct GlyphCoverage {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    // width * height values, rows top to bottom: 0 leaves the pixel alone, 255 covers it with the
    // text colour, values between blend.
    std::vector<std::uint8_t> coverage;
};

// A laid-out string: its cell box, origin at (0, 0), is `width` x `height`. A refused font
// (height out of range, no font file) gives height 0 and draws nothing.
struct TextRun {
    int width = 0;  // the sum of the advances, in whole pixels (at least past `visible.right`)
    int height = 0; // the cell height: ascent plus descent
    int ascent = 0; // the baseline lies `ascent` rows below the top of the cells
    std::vector<GlyphCoverage> glyphs;
};

class TextRenderer {
  public:
    // Heights beyond this many pixels, either sign, are refused (a run of height 0).
    static constexpr int kMaxHeight = 4096;

    virtual ~TextRenderer() = default;

    // Lays out `text` (bytes in the Windows ANSI code page) in the font that `height` and `face`
    // select, and produces the glyphs that reach into `visible` (relative to the text's origin:
    // the part of the target that can show). Glyphs wholly outside it are only advanced over, and
    // layout stops once the cells pass its right edge, so text of any length costs what shows.
    virtual TextRun layout(int height, const std::string& face, std::string_view text,
                           const Rect& visible) = 0;
};

} // namespace lumacore
