// Cost of the title banner on the rasteriser with FreeType text: a redraw with the font's glyphs
// already kept (every banner after the first), and a first banner with a fresh renderer (font
// lookup, face loading and glyph rendering included).
#include <benchmark/benchmark.h>

#include "history/title_banner.h"
#include "host/msvc_rand.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

constexpr char kTitle[] = "Lumacore - Demo: a rather longer playlist title than most";

void banner(benchmark::State& bench, int w, int h, bool fresh) {
    Bitmap bitmap(w, h);
    HistoryState state;
    state.windowWidth = w;
    state.windowHeight = h;
    MsvcRand rand;
    FreetypeTextRenderer kept;
    RasterSurface surface(bitmap, &kept);
    drawTitleBanner(state, surface, kTitle, [&] { return rand(); });
    for (auto _ : bench) {
        if (fresh) {
            FreetypeTextRenderer text;
            surface.setTextRenderer(&text);
            drawTitleBanner(state, surface, kTitle, [&] { return rand(); });
            surface.setTextRenderer(&kept);
        } else {
            drawTitleBanner(state, surface, kTitle, [&] { return rand(); });
        }
        benchmark::ClobberMemory();
    }
}

void BM_BannerRedraw720p(benchmark::State& bench) {
    banner(bench, 1280, 720, false);
}
void BM_BannerRedraw2160p(benchmark::State& bench) {
    banner(bench, 3840, 2160, false);
}
void BM_BannerFirst720p(benchmark::State& bench) {
    banner(bench, 1280, 720, true);
}
BENCHMARK(BM_BannerRedraw720p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BannerRedraw2160p)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BannerFirst720p)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lumacore

BENCHMARK_MAIN();
