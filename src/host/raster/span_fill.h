// What the coverage rules share inside the rasteriser: exact integer division and the writing of
// one row's run of pixels. Not part of the drawing interface.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumacore::coverage::detail {

using i64 = std::int64_t;

// Division rounding toward minus and plus infinity (the divisor is positive).
inline i64 floorDiv(i64 a, i64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
inline i64 ceilDiv(i64 a, i64 b) {
    return -floorDiv(-a, b);
}

// Tall narrow shapes walk down rows a whole stride apart, which the hardware prefetcher does not
// follow: ask for the row a few below while drawing this one. (A hint only: the address may lie
// past the bitmap.)
inline void prefetchRowsAhead(const std::uint32_t* p, std::ptrdiff_t stride) {
    constexpr std::ptrdiff_t kRowsAhead = 16;
    const auto ahead = reinterpret_cast<std::uintptr_t>(p) +
                       static_cast<std::uintptr_t>(kRowsAhead * stride) * sizeof(std::uint32_t);
    __builtin_prefetch(reinterpret_cast<const void*>(ahead), 1, 3);
}

// Two pixels in one store.
inline void putPair(std::uint32_t* at, std::uint64_t pair) {
    std::memcpy(at, &pair, sizeof pair);
}
inline std::uint64_t pairOf(std::uint32_t pixel) {
    return pixel * std::uint64_t{0x100000001};
}

// One row's run of n > 0 pixels. The narrow runs of columns and pens (a few pixels) are written
// as at most four pairs of pixels, overlapping where n is odd or short, without a loop; a call
// into the library's fill costs more than they do.
inline void fillRun(std::uint32_t* p, std::ptrdiff_t n, std::uint32_t pixel) {
    const std::uint64_t pair = pairOf(pixel);
    if (n == 1) {
        *p = pixel;
    } else if (n <= 4) {
        putPair(p, pair);
        putPair(p + n - 2, pair);
    } else if (n <= 8) {
        putPair(p, pair);
        putPair(p + 2, pair);
        putPair(p + n - 4, pair);
        putPair(p + n - 2, pair);
    } else {
        std::fill_n(p, n, pixel);
    }
}

// paint(row) on `rows` rows one stride apart from `row`, asking ahead for the rows to come at
// column `ahead`.
template <typename Paint>
void eachRow(std::uint32_t* row, std::ptrdiff_t rows, std::ptrdiff_t stride, std::ptrdiff_t ahead,
             Paint paint) {
    // Counted, and stepping only between rows, so that no pointer goes past the bitmap.
    for (std::ptrdiff_t remaining = rows; remaining > 0;) {
        prefetchRowsAhead(row + ahead, stride);
        paint(row);
        if (--remaining == 0) break;
        row += stride;
    }
}

// The same run of columns left..left+n-1 on `rows` rows from `row` (none when n <= 0), each row
// then handed to after(row). The shape of the run is chosen once, not on every row. `ahead` is a
// column on the bitmap.
template <typename After>
void runOnRows(std::uint32_t* row, std::ptrdiff_t rows, std::ptrdiff_t stride, std::ptrdiff_t left,
               std::ptrdiff_t n, std::ptrdiff_t ahead, std::uint32_t pixel, After after) {
    const std::uint64_t pair = pairOf(pixel);
    if (n <= 0) {
        eachRow(row, rows, stride, ahead, after);
    } else if (n == 1) {
        eachRow(row, rows, stride, ahead, [&](std::uint32_t* r) {
            r[left] = pixel;
            after(r);
        });
    } else if (n <= 4) {
        eachRow(row, rows, stride, ahead, [&](std::uint32_t* r) {
            putPair(r + left, pair);
            putPair(r + left + n - 2, pair);
            after(r);
        });
    } else if (n <= 8) {
        eachRow(row, rows, stride, ahead, [&](std::uint32_t* r) {
            putPair(r + left, pair);
            putPair(r + left + 2, pair);
            putPair(r + left + n - 4, pair);
            putPair(r + left + n - 2, pair);
            after(r);
        });
    } else {
        eachRow(row, rows, stride, ahead, [&](std::uint32_t* r) {
            std::fill_n(r + left, n, pixel);
            after(r);
        });
    }
}

// The same run of n > 0 pixels on `rows` rows one stride apart, from p down.
inline void fillColumn(std::uint32_t* p, std::ptrdiff_t n, std::ptrdiff_t rows,
                       std::ptrdiff_t stride, std::uint32_t pixel) {
    runOnRows(p, rows, stride, 0, n, 0, pixel, [](std::uint32_t*) {});
}

} // namespace lumacore::coverage::detail
