// The cost of laying a 1920 x 1080 display over its background, once per picture of a render,
// against a plain copy of the same bitmap in the same run: what compositing adds to a picture is
// the difference between the two.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "background/composite.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A transparent-mode display: bars drawn opaque (alpha 255) with premultiplied colours, the
// rest left transparent (alpha 0), and a strip of half-covered pixels like a glyph's edges.
lumacore::Bitmap displayPicture() {
    lumacore::Bitmap picture(kWidth, kHeight);
    std::uint32_t seed = 12345;
    for (int x = 0; x < kWidth; x += 6) {
        seed = seed * 1664525 + 1013904223;
        const int top = static_cast<int>(seed >> 22) % kHeight;
        for (int y = top; y < kHeight; ++y)
            for (int dx = 0; dx < 5; ++dx)
                picture.row(y)[x + dx] = 0xFF000000u | (seed & 0x00FFFFFF);
    }
    for (int y = 0; y < kHeight / 10; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.row(y)[x] = 0x80404040u;
    return picture;
}

lumacore::Bitmap backgroundPicture() {
    lumacore::Bitmap picture(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.row(y)[x] = static_cast<std::uint32_t>(x * 255 / kWidth) << 16 |
                                static_cast<std::uint32_t>(y * 255 / kHeight) << 8 | 0x60;
    return picture;
}

void BM_Composite(benchmark::State& state) {
    const lumacore::Bitmap display = displayPicture();
    const lumacore::Bitmap background = backgroundPicture();
    lumacore::Bitmap out(kWidth, kHeight);
    for (auto _ : state) {
        lumacore::cli::composite(display, background, out);
        benchmark::DoNotOptimize(out.row(0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CopyBitmap(benchmark::State& state) {
    const lumacore::Bitmap display = displayPicture();
    lumacore::Bitmap out(kWidth, kHeight);
    for (auto _ : state) {
        out = display;
        benchmark::DoNotOptimize(out.row(0));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Composite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyBitmap)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
