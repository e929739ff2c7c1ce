// How fast the renderer's audio side runs: one analyser call (two 1152-point FFTs and the rows),
// and synthesising the demo tune, per second of sound.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "analysis/analyser.h"
#include "audio/audio_source.h"

namespace lumacore::cli {
namespace {

// An endless two-tone sound that costs next to nothing to make.
class ToneSource : public AudioSource {
  public:
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override {
        for (std::size_t i = 0; i < frames; ++i, ++position_) {
            const double t = static_cast<double>(position_) / info_.sampleRate;
            out[2 * i] = static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 220 * t));
            out[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 3300 * t));
        }
        return frames;
    }
    void seek(std::int64_t frame) override { position_ = frame; }

  private:
    AudioInfo info_;
    long long position_ = 0;
};

void BM_AnalyserCall(benchmark::State& state) {
    ToneSource source;
    Analyser analyser(source, 60);
    auto module = std::make_unique<winampVisModule>();
    double time = 0;
    for (auto _ : state) {
        analyser.next(*module, time);
        benchmark::DoNotOptimize(module->spectrumData[0][10]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalyserCall);

void BM_DemoTuneSecond(benchmark::State& state) {
    std::unique_ptr<AudioSource> tune = demoTune();
    std::vector<float> block(2 * 44100);
    for (auto _ : state) {
        if (tune->read(block.data(), 44100) < 44100) {
            state.PauseTiming();
            tune = demoTune();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 44100);
}
BENCHMARK(BM_DemoTuneSecond)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lumacore::cli

BENCHMARK_MAIN();
