// Cost of one spectrum-history frame on the software rasteriser, next to a plain memmove of the
// same scroll region (the floor any scrolling renderer pays). Each benchmark iteration is one
// frame, so the average covers column and non-column frames alike.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "draw_scripts.h"
#include "history/history_render.h"
#include "history/palette.h"
#include "host/raster/raster_surface.h"

namespace lumacore {
namespace {

void historyFrame(benchmark::State& bench, int w, int h, bool threeD) {
    Bitmap bitmap(w, h);
    RasterSurface surface(bitmap);
    auto state = std::make_unique<HistoryState>();
    auto module = std::make_unique<winampVisModule>();
    state->drawDC = &surface;
    setClientSize(*state, w, h);
    buildPalette(*state);
    setMode(*state, threeD ? 1 : 0);
    // A minute of music-like spectra is prepared up front; a frame only copies its rows in.
    constexpr int kFrames = 60;
    std::vector<winampVisModule> frames(kFrames);
    for (int f = 0; f < kFrames; ++f)
        testing::scriptedFrame(frames[f], f);
    int frame = 0;
    for (auto _ : bench) {
        std::memcpy(module->spectrumData, frames[frame++ % kFrames].spectrumData,
                    sizeof module->spectrumData);
        benchmark::DoNotOptimize(historyRender(*state, *module));
        benchmark::ClobberMemory();
    }
    bench.counters["fps"] =
        benchmark::Counter(static_cast<double>(bench.iterations()), benchmark::Counter::kIsRate);
}

// The scroll region of one frame moved with one memmove per row, the same bytes historyRender's
// scroll moves.
void scrollMemmove(benchmark::State& bench, int w, int h) {
    Bitmap bitmap(w, h);
    const int rows = static_cast<int>((1.0 - static_cast<double>(kBannerFraction)) * h);
    const std::size_t bytes = static_cast<std::size_t>(w - 1) * sizeof(std::uint32_t);
    for (auto _ : bench) {
        for (int y = 0; y < rows; ++y)
            std::memmove(bitmap.row(y), bitmap.row(y) + 1, bytes);
        benchmark::ClobberMemory();
    }
}

void registerAll() {
    const struct { int w, h; } sizes[] = {{800, 600}, {1920, 1080}, {3840, 2160}};
    for (const auto& s : sizes) {
        const std::string size = std::to_string(s.w) + "x" + std::to_string(s.h);
        benchmark::RegisterBenchmark(("memmove_scroll/" + size).c_str(), scrollMemmove, s.w, s.h);
        benchmark::RegisterBenchmark(("history_2d/" + size).c_str(), historyFrame, s.w, s.h, false);
        benchmark::RegisterBenchmark(("history_3d/" + size).c_str(), historyFrame, s.w, s.h, true);
    }
}

} // namespace
} // namespace lumacore

int main(int argc, char** argv) {
    lumacore::registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
