#include "pipeline/rgba.h"

#include <cstring>

namespace lumacore::cli {

void toRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out) {
    const std::size_t outWidth = static_cast<std::size_t>(picture.width()) * scale;
    const std::size_t rowBytes = outWidth * 4;
    out.resize(rowBytes * picture.height() * scale);
    std::uint8_t* dst = out.data();
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint32_t* src = picture.row(y);
        std::uint8_t* first = dst;
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint32_t p = src[x]; // 0x00RRGGBB
            for (int r = 0; r < scale; ++r) {
                *dst++ = static_cast<std::uint8_t>(p >> 16);
                *dst++ = static_cast<std::uint8_t>(p >> 8);
                *dst++ = static_cast<std::uint8_t>(p);
                *dst++ = 0xFF;
            }
        }
        for (int r = 1; r < scale; ++r, dst += rowBytes)
            std::memcpy(dst, first, rowBytes);
    }
}

} // namespace lumacore::cli
