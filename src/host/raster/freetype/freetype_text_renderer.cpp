// FreetypeTextRenderer: fontconfig resolves the face name, FreeType loads, sizes and renders the
// glyphs, and each byte's glyph is kept for the current font so a banner redrawn every few
// seconds renders its glyphs once.
#include "host/raster/freetype/freetype_text_renderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>

namespace lumacore {
namespace {

using i64 = std::int64_t;

struct LibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
struct ConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using LibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryDeleter>;
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceDeleter>;
using ConfigPtr = std::unique_ptr<FcConfig, ConfigDeleter>;
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1. The five bytes the code
// page leaves undefined map to the control characters of the same value, as the platform does.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t fromCp1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char32_t{byte};
}

// Glyphs larger than this are drawn without being kept.
constexpr std::size_t kMaxCachedCoverage = 64 * 1024;

struct GlyphImage {
    int left = 0; // of the coverage box, from the pen position
    int top = 0;  // of the coverage box, from the top of the cells
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> coverage;
};

// One byte's glyph at the current size: its metrics once loaded, its image once rendered.
struct Glyph {
    bool loaded = false;
    FT_UInt index = 0;
    int advance = 0;
    Rect reach{}; // from the pen position and the top of the cells
    bool rendered = false;
    GlyphImage image;
};

// The platform's 4-bit grey glyphs: coverage in 17 steps.
std::uint8_t greyLevel(std::uint8_t value) {
    const int level = (value * 16 + 127) / 255;
    return static_cast<std::uint8_t>(level * 255 / 16);
}

} // namespace

struct FreetypeTextRenderer::Impl {
    TextSmoothing smoothing;
    std::string error;
    LibraryPtr library;
    ConfigPtr config;

    // The face last asked for and what it resolved to.
    std::string faceName;
    bool faceLoaded = false;
    std::string faceError;
    FacePtr face;

    // The size last set on `face` and the glyphs drawn at it, by byte.
    int sizedHeight = 0;
    int cellHeight = 0;
    int ascent = 0;
    std::array<Glyph, 256> glyphs;

    bool ready() {
        if (!library) {
            FT_Library raw = nullptr;
            if (const FT_Error e = FT_Init_FreeType(&raw); e != 0) {
                error = "freetype: cannot initialise the library (error " + std::to_string(e) + ")";
                return false;
            }
            library.reset(raw);
        }
        if (!config) {
            config.reset(FcInitLoadConfigAndFonts());
            if (!config) {
                error = "fontconfig: cannot load the font configuration";
                return false;
            }
        }
        return true;
    }

    std::optional<FontFile> resolve(const std::string& name) {
        if (!ready()) return std::nullopt;
        PatternPtr pattern(FcPatternCreate());
        if (!pattern) {
            error = "fontconfig: out of memory";
            return std::nullopt;
        }
        // The name is taken as a family as it stands, never parsed as a pattern.
        if (!name.empty())
            FcPatternAddString(pattern.get(), FC_FAMILY,
                               reinterpret_cast<const FcChar8*>(name.c_str()));
        FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
        FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
        FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        PatternPtr match(FcFontMatch(config.get(), pattern.get(), &result));
        FcChar8* file = nullptr;
        if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
            error = "fontconfig: no font file for \"" + name + "\"";
            return std::nullopt;
        }
        FontFile found;
        found.path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match.get(), FC_INDEX, 0, &found.index);
        FcChar8* family = nullptr;
        if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) == FcResultMatch)
            found.family = reinterpret_cast<const char*>(family);
        return found;
    }

    // Makes `name`'s face current. A face that could not be made stays refused, with the same
    // reason, until another name is asked for.
    bool loadFace(const std::string& name) {
        if (faceLoaded && name == faceName) {
            if (!face) error = faceError;
            return face != nullptr;
        }
        faceName = name;
        faceLoaded = true;
        face.reset();
        sizedHeight = 0;
        faceError = openFace(name);
        error = faceError;
        return face != nullptr;
    }

    // Opens the face `name` resolves to; returns why not, or "" on success.
    std::string openFace(const std::string& name) {
        const std::optional<FontFile> file = resolve(name);
        if (!file) return error;
        FT_Face raw = nullptr;
        if (const FT_Error e = FT_New_Face(library.get(), file->path.c_str(), file->index, &raw);
            e != 0)
            return "freetype: cannot open " + file->path + " (error " + std::to_string(e) + ")";
        FacePtr opened(raw);
        if (!FT_IS_SCALABLE(opened) || opened->units_per_EM == 0)
            return "freetype: " + file->path + " has no scalable outlines";
        face = std::move(opened);
        return {};
    }

    // The font's ascent and descent in font units, as the platform measures a cell: the Windows
    // metrics of the OS/2 table, else the horizontal header's.
    std::pair<i64, i64> cellUnits() const {
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.get(), FT_SFNT_OS2));
        if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
            return {os2->usWinAscent, os2->usWinDescent};
        if (face->ascender - face->descender > 0) return {face->ascender, -face->descender};
        return {face->units_per_EM * 4 / 5, face->units_per_EM / 5};
    }

    bool setHeight(int height) {
        if (height == sizedHeight) return true;
        sizedHeight = 0;
        glyphs.fill(Glyph{});
        const auto [up, down] = cellUnits();
        const i64 units = up + down;
        const i64 em = face->units_per_EM;
        // A whole number of pixels per em, as hinted fonts are drawn: for a cell height, the
        // nearest one whose cell does not come out taller than asked.
        i64 ppem;
        if (height > 0) {
            ppem = std::max<i64>(1, (em * height + units / 2) / units);
            if (ppem > 1 && (units * ppem + em / 2) / em > height) --ppem;
            cellHeight = height;
            ascent = static_cast<int>((up * height + units / 2) / units);
        } else {
            ppem = -i64{height};
            ascent = static_cast<int>((up * ppem + em / 2) / em);
            cellHeight = ascent + static_cast<int>((down * ppem + em / 2) / em);
        }
        const auto size = static_cast<FT_F26Dot6>(ppem * 64);
        if (const FT_Error e = FT_Set_Char_Size(face.get(), 0, size, 72, 72); e != 0) {
            error = "freetype: cannot size " + faceName + " to " + std::to_string(height) +
                    " (error " + std::to_string(e) + ")";
            return false;
        }
        sizedHeight = height;
        return true;
    }

    FT_Int32 loadFlags() const {
        return FT_LOAD_DEFAULT | (smoothing == TextSmoothing::Monochrome ? FT_LOAD_TARGET_MONO
                                                                         : FT_LOAD_TARGET_NORMAL);
    }

    // One byte's advance and the box its glyph can cover (from the hinted metrics, a pixel wider
    // each way), without rendering it. A glyph that fails to load advances by nothing.
    Glyph& metricsFor(unsigned char byte) {
        Glyph& glyph = glyphs[byte];
        if (glyph.loaded) return glyph;
        glyph = Glyph{};
        glyph.loaded = true;
        glyph.index = FT_Get_Char_Index(face.get(), fromCp1252(byte));
        if (FT_Load_Glyph(face.get(), glyph.index, loadFlags()) != 0) return glyph;
        const FT_Glyph_Metrics& m = face->glyph->metrics;
        glyph.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
        glyph.reach = {static_cast<int>(std::floor(m.horiBearingX / 64.0)) - 1,
                       ascent - static_cast<int>(std::ceil(m.horiBearingY / 64.0)) - 1,
                       static_cast<int>(std::ceil((m.horiBearingX + m.width) / 64.0)) + 1,
                       ascent - static_cast<int>(std::floor((m.horiBearingY - m.height) / 64.0)) +
                           1};
        return glyph;
    }

    // Renders a glyph whose metrics are known into `image`; a failure leaves it empty.
    void renderInto(const Glyph& glyph, GlyphImage& image) {
        image = GlyphImage{};
        const bool mono = smoothing == TextSmoothing::Monochrome;
        if (FT_Load_Glyph(face.get(), glyph.index, loadFlags()) != 0) return;
        FT_GlyphSlot slot = face->glyph;
        if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return;
        const FT_Bitmap& bitmap = slot->bitmap;
        image.left = slot->bitmap_left;
        image.top = ascent - slot->bitmap_top;
        image.width = static_cast<int>(bitmap.width);
        image.height = static_cast<int>(bitmap.rows);
        image.coverage.resize(static_cast<std::size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y) {
            const unsigned char* row =
                bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
            std::uint8_t* out = image.coverage.data() + static_cast<std::size_t>(y) * image.width;
            for (int x = 0; x < image.width; ++x) {
                if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
                    out[x] = (row[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
                else
                    out[x] = greyLevel(row[x]);
            }
        }
    }

    // The glyph's image: the kept one, or a fresh one in `scratch` when it is too large to keep.
    const GlyphImage& imageFor(Glyph& glyph, GlyphImage& scratch) {
        if (glyph.rendered) return glyph.image;
        renderInto(glyph, scratch);
        if (scratch.coverage.size() > kMaxCachedCoverage) return scratch;
        glyph.image = std::move(scratch);
        glyph.rendered = true;
        return glyph.image;
    }
};

FreetypeTextRenderer::FreetypeTextRenderer(TextSmoothing smoothing)
    : impl_(std::make_unique<Impl>()) {
    impl_->smoothing = smoothing;
}

FreetypeTextRenderer::~FreetypeTextRenderer() = default;

const std::string& FreetypeTextRenderer::lastError() const {
    return impl_->error;
}

std::optional<FontFile> FreetypeTextRenderer::resolve(const std::string& face) {
    impl_->error.clear();
    return impl_->resolve(face);
}

TextRun FreetypeTextRenderer::layout(int height, const std::string& face, std::string_view text,
                                     const Rect& visible) {
    Impl& impl = *impl_;
    impl.error.clear();
    if (height == 0 || height > kMaxHeight || height < -kMaxHeight) {
        impl.error = "font height " + std::to_string(height) + " is outside 1.." +
                     std::to_string(kMaxHeight) + " (or -" + std::to_string(kMaxHeight) +
                     "..-1 for the em height)";
        return {};
    }
    if (!impl.loadFace(face) || !impl.setHeight(height)) return {};

    TextRun run;
    run.height = impl.cellHeight;
    run.ascent = impl.ascent;
    i64 pen = 0;
    GlyphImage scratch;
    for (const char c : text) {
        // Past the right edge by more than a cell, no glyph can reach back into view.
        if (pen - run.height >= visible.right) break;
        Glyph& glyph = impl.metricsFor(static_cast<unsigned char>(c));
        const bool mayShow = pen + glyph.reach.left < visible.right &&
                             pen + glyph.reach.right > visible.left &&
                             glyph.reach.top < visible.bottom && glyph.reach.bottom > visible.top;
        if (mayShow) {
            const GlyphImage& image = impl.imageFor(glyph, scratch);
            // The part of the image that can show.
            const i64 left = pen + image.left;
            const i64 x0 = std::max<i64>(left, visible.left);
            const i64 x1 = std::min<i64>(left + image.width, visible.right);
            const i64 y0 = std::max<i64>(image.top, visible.top);
            const i64 y1 = std::min<i64>(i64{image.top} + image.height, visible.bottom);
            if (x0 < x1 && y0 < y1) {
                GlyphCoverage& out = run.glyphs.emplace_back();
                out.left = static_cast<int>(x0);
                out.top = static_cast<int>(y0);
                out.width = static_cast<int>(x1 - x0);
                out.height = static_cast<int>(y1 - y0);
                out.coverage.resize(static_cast<std::size_t>(out.width) * out.height);
                for (i64 y = y0; y < y1; ++y)
                    std::copy_n(image.coverage.begin() + (y - image.top) * image.width +
                                    (x0 - left),
                                out.width, out.coverage.begin() + (y - y0) * out.width);
            }
        }
        pen += glyph.advance;
    }
    run.width = static_cast<int>(std::min<i64>(pen, INT_MAX));
    return run;
}

} // namespace lumacore
