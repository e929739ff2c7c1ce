// The platform's text model on a canvas: a positive height is the cell height, split into ascent
// and descent as Arial's Windows metrics split it (1854 and 434 of 2048 units an em); a negative
// height is the em height. The whole string comes back as one coverage box.
#include "canvas_text_renderer.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "pipeline/banner_text.h"

namespace lumacore::web {
namespace {

constexpr double kAscent = 1854, kDescent = 434, kEm = 2048;

struct FreeDeleter {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

} // namespace

// Draws `text` at `emPixels` with its baseline `ascent` rows down, `cellHeight` rows tall and at
// most `maxWidth` wide; box[0] receives the advance in whole pixels, box[1] the width drawn. The
// coverage (box[1] x cellHeight bytes, 0..255) comes back in memory from malloc; 0 when the
// browser has no canvas.
// clang-format off
EM_JS(unsigned char*, lumacore_canvas_text, (double emPixels, int ascent, int cellHeight,
                                             int maxWidth, const char* face, const char* text,
                                             int* box), {
    if (!Module.textCanvas)
        Module.textCanvas = typeof OffscreenCanvas === "undefined"
            ? document.createElement("canvas") : new OffscreenCanvas(1, 1);
    const canvas = Module.textCanvas;
    const quote = String.fromCharCode(34);
    const family = UTF8ToString(face).split(quote).join("");
    const font = emPixels + "px " + quote + family + quote + ", Arial, " + quote +
        "Liberation Sans" + quote + ", sans-serif";
    let context = canvas.getContext("2d", {willReadFrequently: true});
    if (!context) return 0;
    context.font = font;
    const string = UTF8ToString(text);
    const advance = Math.ceil(context.measureText(string).width);
    const width = Math.max(0, Math.min(advance, maxWidth));
    HEAP32[box >> 2] = advance;
    HEAP32[(box >> 2) + 1] = width;
    if (width === 0 || cellHeight === 0) return 0;
    if (canvas.width < width) canvas.width = width;
    if (canvas.height < cellHeight) canvas.height = cellHeight;
    context.font = font; // a resize resets the context's state
    context.fillStyle = "#000";
    context.fillRect(0, 0, width, cellHeight);
    context.fillStyle = "#fff";
    context.textBaseline = "alphabetic";
    context.fillText(string, 0, ascent);
    const pixels = context.getImageData(0, 0, width, cellHeight).data;
    const coverage = _malloc(width * cellHeight);
    if (!coverage) return 0;
    for (let i = 0; i < width * cellHeight; ++i)
        HEAPU8[coverage + i] = pixels[4 * i + 1]; // green: grey levels, never sub-pixel colour
    return coverage;
});
// clang-format on

TextRun CanvasTextRenderer::layout(int height, const std::string& face, std::string_view text,
                                   const Rect& visible) {
    TextRun run;
    if (height == 0 || std::abs(height) > kMaxHeight) return run;
    const double em = height > 0 ? height * kEm / (kAscent + kDescent) : -height;
    const int cellHeight =
        height > 0 ? height : static_cast<int>(std::lround(em * (kAscent + kDescent) / kEm));
    run.height = cellHeight;
    run.ascent = static_cast<int>(std::lround(em * kAscent / kEm));
    if (text.empty()) return run;
    // Only what can show is drawn: from the origin to the visible part's right edge.
    const int maxWidth = std::max(0, visible.right);
    int box[2] = {0, 0};
    const std::string utf8 = cli::windows1252ToUtf8(text);
    const std::unique_ptr<unsigned char, FreeDeleter> coverage(lumacore_canvas_text(
        em, run.ascent, cellHeight, maxWidth, face.c_str(), utf8.c_str(), box));
    run.width = box[0];
    if (!coverage) return run;
    GlyphCoverage glyph;
    glyph.width = box[1];
    glyph.height = cellHeight;
    glyph.coverage.assign(coverage.get(), coverage.get() + box[1] * cellHeight);
    run.glyphs.push_back(std::move(glyph));
    return run;
}

} // namespace lumacore::web
