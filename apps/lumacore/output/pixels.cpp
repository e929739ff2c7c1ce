// Row kernels written so that the compiler vectorises them (this file is built at -O3).
#include "output/pixels.h"

#include "output/row_kernel.h"

#include <algorithm>
#include <cstring>

namespace lumacore::cli {
namespace {

LUMACORE_ROW_KERNEL
void rgbaRow(const std::uint32_t* __restrict from, std::uint8_t* __restrict to, int width) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = from[x];
        to[4 * x] = static_cast<std::uint8_t>(p >> 16);
        to[4 * x + 1] = static_cast<std::uint8_t>(p >> 8);
        to[4 * x + 2] = static_cast<std::uint8_t>(p);
        to[4 * x + 3] = 0xFF;
    }
}

LUMACORE_ROW_KERNEL
void rgbRow(const std::uint32_t* __restrict from, std::uint8_t* __restrict to, int width) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = from[x];
        to[3 * x] = static_cast<std::uint8_t>(p >> 16);
        to[3 * x + 1] = static_cast<std::uint8_t>(p >> 8);
        to[3 * x + 2] = static_cast<std::uint8_t>(p);
    }
}

// unmix[a][c]: the smallest s with (s * a + 127) / 255 == c, for every c <= a.
struct Unmixing {
    std::uint8_t value[256][256];
    Unmixing() {
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c)
                value[a][c] = static_cast<std::uint8_t>(
                    a == 0 || c > a ? (a == 0 ? 0 : 255)
                                    : std::max(0, (255 * c - 127 + a - 1) / a));
    }
};
const Unmixing& unmixing() {
    static const Unmixing table;
    return table;
}

void straightRgbaRow(const std::uint32_t* __restrict from, std::uint8_t* __restrict to, int width) {
    const Unmixing& table = unmixing();
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = from[x];
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const int a = std::max({static_cast<int>(p >> 24), r, g, b});
        to[4 * x] = table.value[a][r];
        to[4 * x + 1] = table.value[a][g];
        to[4 * x + 2] = table.value[a][b];
        to[4 * x + 3] = static_cast<std::uint8_t>(a);
    }
}

template <int Bytes, void (*Row)(const std::uint32_t*, std::uint8_t*, int)>
void convert(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out) {
    const int width = picture.width() * scale;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * Bytes;
    out.resize(rowBytes * picture.height() * scale);
    std::vector<std::uint32_t> wide(scale > 1 ? width : 0); // a row enlarged, before converting
    std::uint8_t* to = out.data();
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint32_t* from = picture.row(y);
        if (scale > 1) {
            for (int x = 0; x < width; ++x)
                wide[x] = from[x / scale];
            from = wide.data();
        }
        Row(from, to, width);
        for (int r = 1; r < scale; ++r)
            std::memcpy(to + r * rowBytes, to, rowBytes);
        to += rowBytes * scale;
    }
}

} // namespace

void toRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out) {
    convert<4, rgbaRow>(picture, scale, out);
}

void toStraightRgba(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out) {
    convert<4, straightRgbaRow>(picture, scale, out);
}

void straightRgba(const std::uint32_t* words, std::size_t count, std::uint8_t* out) {
    // In rows of a bounded width, as the row kernel takes them.
    constexpr std::size_t kRow = 1 << 16;
    for (std::size_t done = 0; done < count; done += kRow)
        straightRgbaRow(words + done, out + 4 * done,
                        static_cast<int>(std::min(kRow, count - done)));
}

void toRgb(const Bitmap& picture, int scale, std::vector<std::uint8_t>& out) {
    convert<3, rgbRow>(picture, scale, out);
}

namespace {

// `picture` enlarged into `height` rows of `width` words, `stride` words apart.
void enlargeRows(const Bitmap& picture, int scale, int width, int height, std::uint32_t* out,
                 std::size_t stride) {
    const int wide = std::min(width, picture.width() * scale);
    const int tall = std::min(height, picture.height() * scale);
    if (wide <= 0 || tall <= 0) return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sizeof *out;
    for (int y = 0; y < tall; ++y) {
        std::uint32_t* to = out + static_cast<std::size_t>(y) * stride;
        if (y % scale != 0) {
            std::memcpy(to, to - stride, rowBytes);
            continue;
        }
        const std::uint32_t* from = picture.row(y / scale);
        if (scale == 1)
            std::memcpy(to, from, static_cast<std::size_t>(wide) * sizeof *to);
        else
            for (int x = 0; x < wide; ++x)
                to[x] = from[x / scale];
        std::fill(to + wide, to + width, to[wide - 1]);
    }
    for (int y = tall; y < height; ++y)
        std::memcpy(out + static_cast<std::size_t>(y) * stride,
                    out + static_cast<std::size_t>(tall - 1) * stride, rowBytes);
}

} // namespace

void enlarge(const Bitmap& picture, int scale, int width, int height,
             std::vector<std::uint32_t>& out) {
    out.resize(static_cast<std::size_t>(width) * height);
    enlargeRows(picture, scale, width, height, out.data(), static_cast<std::size_t>(width));
}

void enlarge(const Bitmap& picture, int scale, Bitmap& out) {
    if (out.height() == 0) return;
    enlargeRows(picture, scale, out.width(), out.height(), out.row(0),
                static_cast<std::size_t>(out.stride()));
}

} // namespace lumacore::cli
