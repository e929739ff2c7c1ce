// Records a PulseAudio source (a sink's monitor) and writes, for every click it hears, the
// CLOCK_MONOTONIC time at which the click's first sample reached the source, in nanoseconds, and
// the sample's frame number in the recording, one line each. bench/play_figures.sh sets these
// against the times `lumacore play` presented its frames, to measure how far the picture runs from
// the sound.
//   usage: play_click_recorder SOURCE OUTPUT [THRESHOLD]
// It runs until SIGINT or SIGTERM. OUTPUT is created once the first sound has arrived, so a
// script can wait for it before it starts playing.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr std::size_t kFragmentFrames = 256;      // 5.8 ms
constexpr std::int64_t kQuietFrames = kRate / 10; // before a click counts as a new one
constexpr std::size_t kEstimates = 255;           // fragments in the median: 1.5 s

std::atomic<bool> stopRequested{false};

void requestStop(int) {
    stopRequested = true;
}

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

struct SimpleFree {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};
struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: play_click_recorder SOURCE OUTPUT [THRESHOLD]\n");
        return 2;
    }
    const std::string output = argv[2];
    const float threshold = argc == 4 ? std::strtof(argv[3], nullptr) : 0.3f;
    if (!(threshold > 0 && threshold < 1)) {
        std::fprintf(stderr, "play_click_recorder: THRESHOLD must lie between 0 and 1\n");
        return 2;
    }
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    const pa_sample_spec spec = {PA_SAMPLE_FLOAT32LE, kRate, 2};
    pa_buffer_attr attributes = {};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(kFragmentFrames * 2 * sizeof(float));
    int error = 0;
    std::unique_ptr<pa_simple, SimpleFree> stream(
        pa_simple_new(nullptr, "lumacore click recorder", PA_STREAM_RECORD, argv[1], "clicks",
                      &spec, nullptr, &attributes, &error));
    if (!stream) {
        std::fprintf(stderr, "play_click_recorder: cannot record %s: %s\n", argv[1],
                     pa_strerror(error));
        return 1;
    }

    std::unique_ptr<std::FILE, FileClose> out;
    std::vector<float> fragment(kFragmentFrames * 2);
    std::deque<std::int64_t> starts; // estimates of the time frame 0 reached the source
    std::int64_t frames = 0, sinceLoud = kQuietFrames;
    while (!stopRequested) {
        if (pa_simple_read(stream.get(), fragment.data(), fragment.size() * sizeof(float), &error) <
            0) {
            std::fprintf(stderr, "play_click_recorder: %s\n", pa_strerror(error));
            return 1;
        }
        // Everything after the fragment's last sample is the latency still queued: that sample
        // reached the source that long ago. The source keeps time with the monotonic clock, so
        // every fragment estimates the same moment for frame 0; the median of the recent ones
        // leaves out the wake-up delays of single reads.
        const pa_usec_t latency = pa_simple_get_latency(stream.get(), &error);
        frames += kFragmentFrames;
        starts.push_back(monotonicNs() - static_cast<std::int64_t>(latency) * 1000 -
                         (frames - 1) * 1'000'000'000 / kRate);
        if (starts.size() > kEstimates) starts.pop_front();
        std::vector<std::int64_t> sorted(starts.begin(), starts.end());
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const std::int64_t start = sorted[sorted.size() / 2];
        if (!out) {
            out.reset(std::fopen(output.c_str(), "w"));
            if (!out) {
                std::fprintf(stderr, "play_click_recorder: cannot write %s\n", output.c_str());
                return 1;
            }
        }
        for (std::size_t i = 0; i < kFragmentFrames; ++i) {
            const float left = fragment[2 * i], right = fragment[2 * i + 1];
            const bool loud =
                left > threshold || left < -threshold || right > threshold || right < -threshold;
            if (loud && sinceLoud >= kQuietFrames) {
                const std::int64_t frame = frames - kFragmentFrames + static_cast<std::int64_t>(i);
                std::fprintf(out.get(), "%lld %lld\n",
                             static_cast<long long>(start + frame * 1'000'000'000 / kRate),
                             static_cast<long long>(frame));
                std::fflush(out.get());
            }
            sinceLoud = loud ? 0 : sinceLoud + 1;
        }
    }
    return 0;
}
