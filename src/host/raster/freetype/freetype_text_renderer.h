// Text for the software rasteriser from the system's fonts: fontconfig finds the file a face name
// stands for (a metric-compatible substitute such as Liberation Sans where Arial is absent) and
// FreeType draws its glyphs, laid out the way the platform lays out a string.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "host/raster/text_renderer.h"

namespace lumacore {

// Monochrome glyphs, or grey ones with the platform's 17 coverage levels (what it draws for a
// font of default quality where font smoothing is on, as under Wine).
enum class TextSmoothing { Monochrome, Grey };

// Where a face name leads: the font file, the face inside it and its family name.
struct FontFile {
    std::string path;
    int index = 0;
    std::string family;
};

// The platform's text model: a positive height is the cell height, split into ascent and descent
// in the proportion of the font's Windows ascent and descent; a negative height is the em height.
// Glyphs sit on the baseline `ascent` rows below the top of the cells, advances are hinted and
// whole pixels, and there is no kerning. Bytes are read as Windows-1252.
//
// Not thread-safe: one renderer per drawing thread. Nothing here throws for bad input; a font
// that cannot be made draws nothing and lastError() says why.
class FreetypeTextRenderer final : public TextRenderer {
  public:
    explicit FreetypeTextRenderer(TextSmoothing smoothing = TextSmoothing::Grey);
    ~FreetypeTextRenderer() override;
    FreetypeTextRenderer(const FreetypeTextRenderer&) = delete;
    FreetypeTextRenderer& operator=(const FreetypeTextRenderer&) = delete;

    TextRun layout(int height, const std::string& face, std::string_view text,
                   const Rect& visible) override;

    // The font file `face` resolves to, or nothing (lastError() says why).
    std::optional<FontFile> resolve(const std::string& face);

    // One line saying why the last layout or resolve failed; empty after a success.
    const std::string& lastError() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumacore
