// Encoding speed of the outputs at 1920 x 1080: whole renders of a scrolling, bar-filled picture
// like the spectrum history's, opened, written and finished. Frames per second (wall clock: the
// encoders run threads of their own) are reported as items_per_second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "output/frame_sink.h"

namespace {

using lumacore::cli::openSink;
using lumacore::cli::SinkOptions;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 120;

// A canvas twice the picture's width: coloured columns of varying heights over black. Frame i
// is the window starting i pixels in, so the picture scrolls left like the history display.
class ScrollingPicture {
  public:
    ScrollingPicture()
        : canvas_(static_cast<std::size_t>(kWidth) * 2 * kHeight), frame_(kWidth, kHeight) {
        std::uint32_t seed = 12345;
        for (int x = 0; x < kWidth * 2; x += 6) {
            seed = seed * 1664525 + 1013904223;
            const int top = static_cast<int>(seed >> 22) % kHeight;
            for (int y = top; y < kHeight; ++y)
                for (int dx = 0; dx < 5; ++dx)
                    canvas_[static_cast<std::size_t>(y) * kWidth * 2 + x + dx] =
                        ((seed >> 8) & 0xFF) << 16 |
                        static_cast<std::uint32_t>(y * 255 / kHeight) << 8 |
                        ((255 - (seed >> 16)) & 0xFF);
        }
    }
    const lumacore::Bitmap& frame(int i) {
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(&canvas_[static_cast<std::size_t>(y) * kWidth * 2 + i % kWidth], kWidth,
                        frame_.row(y));
        return frame_;
    }

  private:
    std::vector<std::uint32_t> canvas_; // 0x00RRGGBB words
    lumacore::Bitmap frame_;
};

void renderTo(benchmark::State& state, const std::string& name) {
    ScrollingPicture picture;
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("lumacore-bench-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(folder);
    SinkOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.fpsNumerator = 60;
    const std::string output = name == "null" ? name : folder + "/" + name;
    for (auto _ : state) {
        auto sink = openSink(output, options);
        for (int i = 0; i < kFrames; ++i)
            sink->write(picture.frame(i));
        sink->finish();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    std::filesystem::remove_all(folder);
}

void BM_Null(benchmark::State& state) {
    renderTo(state, "null");
}
void BM_H264Mp4(benchmark::State& state) {
    renderTo(state, "clip.mp4");
}
void BM_Vp9WebM(benchmark::State& state) {
    renderTo(state, "clip.webm");
}
void BM_PngSequence(benchmark::State& state) {
    renderTo(state, "frames/");
}

BENCHMARK(BM_Null)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_H264Mp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Vp9WebM)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PngSequence)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
