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
    png.rgb.resize(size);
    if (spng_decode_image(context.get(), png.rgb.data(), size, SPNG_FMT_RGB8, 0))
        return std::nullopt;
    png.width = static_cast<int>(header.width);
    png.height = static_cast<int>(header.height);
    png.colourType = header.color_type;
    return png;
}

} // namespace lumacore::test
