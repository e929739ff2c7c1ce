// Decoding a PNG with libspng.
#include "png_reader.h"

#include <spng.h>

#include <memory>

namespace lumacore::test {

std::optional<DecodedPng> decodePng(const std::string& bytes) {
    if (bytes.empty()) return std::nullopt;
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(spng_ctx_new(0), spng_ctx_free);
    if (!context) return std::nullopt;
    spng_set_png_buffer(context.get(), bytes.data(), bytes.size());
    spng_ihdr header = {};
    std::size_t size = 0;
    if (spng_get_ihdr(context.get(), &header) ||
        spng_decoded_image_size(context.get(), SPNG_FMT_RGB8, &size))
        return std::nullopt;
    DecodedPng png;
    const bool alpha = header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                       header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA;
    std::vector<std::uint8_t> rgba(size / 3 * 4);
    if (spng_decode_image(context.get(), rgba.data(), rgba.size(), SPNG_FMT_RGBA8, 0))
        return std::nullopt;
    png.rgb.resize(size);
    if (alpha) png.alpha.resize(size / 3);
    for (std::size_t i = 0; i < size / 3; ++i) {
        for (int c = 0; c < 3; ++c)
            png.rgb[3 * i + c] = rgba[4 * i + c];
        if (alpha) png.alpha[i] = rgba[4 * i + 3];
    }
    png.width = static_cast<int>(header.width);
    png.height = static_cast<int>(header.height);
    png.colourType = header.color_type;
    return png;
}

} // namespace lumacore::test
