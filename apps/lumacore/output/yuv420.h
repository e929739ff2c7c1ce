// The bitmap's full-range 0x00RRGGBB words as the limited-range BT.709 4:2:0 planes the video
// encoders take, in one pass: luma per pixel, each 2 x 2 block's chroma from the block's mean.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumacore::cli {

struct YuvPlanes {
    std::uint8_t* plane[3]; // Y, Cb, Cr
    int stride[3];          // bytes from one row to the next
};

// `width` and `height` even; `stride` in words.
void toYuv420(const std::uint32_t* words, std::ptrdiff_t stride, int width, int height,
              const YuvPlanes& out);

} // namespace lumacore::cli
