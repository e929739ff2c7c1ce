// Fixed point with 15 fractional bits: the coefficients are BT.709's, scaled to 219 levels of
// luma and 224 of chroma over 255 of each colour; the chroma ones sum to 0, so greys have
// Cb = Cr = 128 exactly. Built at -O3 and for AVX2 beside the baseline, like the row kernels.
#include "output/yuv420.h"

#include "output/row_kernel.h"

namespace lumacore::cli {
namespace {

constexpr int kShift = 15;
constexpr std::int32_t kYR = 5983, kYG = 20127, kYB = 2032;
constexpr std::int32_t kUR = -3298, kUG = -11094, kUB = 14392;
constexpr std::int32_t kVR = 14392, kVG = -13072, kVB = -1320;
constexpr std::int32_t kYOffset = (16 << kShift) + (1 << (kShift - 1));
// Chroma takes the sum of four pixels: two more bits to shift away.
constexpr std::int32_t kCOffset = (128 << (kShift + 2)) + (1 << (kShift + 1));

LUMACORE_ROW_KERNEL
void lumaRow(const std::uint32_t* __restrict in, std::uint8_t* __restrict out, int width) {
    for (int x = 0; x < width; ++x) {
        const std::int32_t r = (in[x] >> 16) & 0xFF, g = (in[x] >> 8) & 0xFF, b = in[x] & 0xFF;
        out[x] = static_cast<std::uint8_t>((kYR * r + kYG * g + kYB * b + kYOffset) >> kShift);
    }
}

LUMACORE_ROW_KERNEL
void chromaRow(const std::uint32_t* __restrict top, const std::uint32_t* __restrict bottom,
               std::uint8_t* __restrict cb, std::uint8_t* __restrict cr, int halfWidth) {
    for (int x = 0; x < halfWidth; ++x) {
        const std::uint32_t a = top[2 * x], b = top[2 * x + 1];
        const std::uint32_t c = bottom[2 * x], d = bottom[2 * x + 1];
        const std::int32_t red = static_cast<std::int32_t>(((a >> 16) & 0xFF) + ((b >> 16) & 0xFF) +
                                                           ((c >> 16) & 0xFF) + ((d >> 16) & 0xFF));
        const std::int32_t green = static_cast<std::int32_t>(((a >> 8) & 0xFF) + ((b >> 8) & 0xFF) +
                                                             ((c >> 8) & 0xFF) + ((d >> 8) & 0xFF));
        const std::int32_t blue =
            static_cast<std::int32_t>((a & 0xFF) + (b & 0xFF) + (c & 0xFF) + (d & 0xFF));
        cb[x] = static_cast<std::uint8_t>((kUR * red + kUG * green + kUB * blue + kCOffset) >>
                                          (kShift + 2));
        cr[x] = static_cast<std::uint8_t>((kVR * red + kVG * green + kVB * blue + kCOffset) >>
                                          (kShift + 2));
    }
}

} // namespace

void toYuv420(const std::uint32_t* words, std::ptrdiff_t stride, int width, int height,
              const YuvPlanes& out) {
    for (int y = 0; y + 1 < height; y += 2) {
        const std::uint32_t* top = words + y * stride;
        const std::uint32_t* bottom = top + stride;
        lumaRow(top, out.plane[0] + static_cast<std::ptrdiff_t>(y) * out.stride[0], width);
        lumaRow(bottom, out.plane[0] + static_cast<std::ptrdiff_t>(y + 1) * out.stride[0], width);
        const std::ptrdiff_t row = y / 2;
        chromaRow(top, bottom, out.plane[1] + row * out.stride[1],
                  out.plane[2] + row * out.stride[2], width / 2);
    }
}

} // namespace lumacore::cli
