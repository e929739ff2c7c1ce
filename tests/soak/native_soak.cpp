// A long run of every module's drawing on the software rasteriser: random spectra and waveforms,
// client sizes that change every so often (none, one pixel and a very large one among them),
// both display modes and random speed and brightness. It reports the renders, the time taken and
// the process's memory, and fails when the resident size grows after the warm-up: memory must
// stay flat however long it runs.
//
//   native_soak [--renders N] [--seed S] [--max-growth-mb M]
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "history/history_render.h"
#include "history/history_state.h"
#include "history/palette.h"
#include "host/raster/bitmap.h"
#include "host/raster/raster_surface.h"
#include "scope/oscilloscope.h"
#include "scope/scope_state.h"
#include "scope/vu_meter.h"

namespace lumacore {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed blocks in quarantine (256 MB by default) and finds leaks itself.
constexpr long long kSanitizerSlackKb = 300 * 1024;
#else
constexpr long long kSanitizerSlackKb = 0;
#endif

struct Options {
    long long renders = 3000; // per module
    std::uint64_t seed = 1;
    long long maxGrowthKb = 16 * 1024;
};

// xorshift64*: fast enough that filling the frames costs little beside the drawing.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull | 1) {}
    std::uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    void fill(unsigned char* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; i += 8) {
            const std::uint64_t v = next();
            std::memcpy(bytes + i, &v, std::min<std::size_t>(8, count - i));
        }
    }

  private:
    std::uint64_t state_;
};

// The resident and peak resident sizes of this process, in kB (0 where unknown).
struct Memory {
    long long rssKb = 0;
    long long peakKb = 0;
};

Memory memoryNow() {
    Memory memory;
    std::ifstream status("/proc/self/status");
    std::string line;
    const auto field = [&](std::string_view name, long long& out) {
        if (line.compare(0, name.size(), name) != 0) return;
        out = std::atoll(line.c_str() + name.size());
    };
    while (std::getline(status, line)) {
        field("VmRSS:", memory.rssKb);
        field("VmHWM:", memory.peakKb);
    }
    return memory;
}

// Resident size with freed memory handed back: what is left is what the program still holds.
long long settledRssKb() {
    malloc_trim(0);
    return memoryNow().rssKb;
}

struct ClientSize {
    int width = 0;
    int height = 0;
};

// The client sizes, changed every `period` renders: the largest first (so that the warm-up
// has seen it), then none and a single pixel, then random ones with those three coming back now
// and then. The largest size is held for a few renders only, so that it does not take the time.
class SizeSchedule {
  public:
    static constexpr ClientSize kLargest{8192, 4320};
    static constexpr int kLargestRenders = 3;

    SizeSchedule(Random& random, long long period) : random_(random), period_(period) {}

    // The size for the next render, and whether it is a new one.
    bool next() {
        if (left_-- > 0) return false;
        const int pick = changes_ < 3 ? changes_ : random_.below(64);
        ++changes_;
        switch (pick) {
        case 0:
            current_ = kLargest;
            break;
        case 1:
            current_ = {0, 0};
            break;
        case 2:
            current_ = {1, 1};
            break;
        default:
            current_ = {1 + random_.below(1024), 1 + random_.below(768)};
            break;
        }
        left_ = (pick == 0 ? kLargestRenders : period_) - 1;
        return true;
    }
    ClientSize current() const { return current_; }

  private:
    Random& random_;
    long long period_;
    long long left_ = 0;
    int changes_ = 0;
    ClientSize current_;
};

// One module's drawing, told about every new client size before its next render.
struct Module {
    const char* name;
    std::function<void(Surface&, ClientSize, Random&)> resize;
    std::function<void(const winampVisModule&)> render;
};

// A module driven in stretches: between them it holds no picture, so that the memory it keeps
// can be measured; its sizes carry on from one stretch to the next.
class Soak {
  public:
    Soak(const Module& module, Random& random, long long period)
        : module_(module), random_(random), sizes_(random, period) {
        frame_->nCh = 2;
    }

    void run(long long renders) {
        std::unique_ptr<Bitmap> bitmap;
        std::unique_ptr<RasterSurface> surface;
        const auto resize = [&] {
            surface.reset();
            bitmap.reset();
            bitmap = std::make_unique<Bitmap>(sizes_.current().width, sizes_.current().height);
            surface = std::make_unique<RasterSurface>(*bitmap);
            module_.resize(*surface, sizes_.current(), random_);
        };
        const auto start = std::chrono::steady_clock::now();
        if (renders_ > 0) resize(); // the size the last stretch ended with
        for (long long n = 0; n < renders; ++n) {
            if (sizes_.next()) resize();
            random_.fill(&frame_->spectrumData[0][0], sizeof frame_->spectrumData);
            random_.fill(&frame_->waveformData[0][0], sizeof frame_->waveformData);
            module_.render(*frame_);
        }
        renders_ += renders;
        seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    void report() const {
        std::printf("%-12s renders %lld  seconds %.2f\n", module_.name, renders_, seconds_);
    }

  private:
    const Module& module_;
    Random& random_;
    SizeSchedule sizes_;
    std::unique_ptr<winampVisModule> frame_ = std::make_unique<winampVisModule>();
    long long renders_ = 0;
    double seconds_ = 0;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        long long value = 0;
        const char* text = i + 1 < argc ? argv[i + 1] : "";
        const auto [end, error] = std::from_chars(text, text + std::strlen(text), value);
        const bool number = error == std::errc() && *end == '\0' && value >= 0;
        if (arg == "--renders" && number) {
            options.renders = value;
        } else if (arg == "--seed" && number) {
            options.seed = static_cast<std::uint64_t>(value);
        } else if (arg == "--max-growth-mb" && number && value < (1ll << 40)) {
            options.maxGrowthKb = value * 1024;
        } else {
            std::fprintf(stderr,
                         "native_soak: bad argument '%s' (usage: native_soak [--renders N] "
                         "[--seed S] [--max-growth-mb M])\n",
                         argv[i]);
            return false;
        }
        ++i;
    }
    return true;
}

int run(const Options& options) {
    const long long startKb = memoryNow().rssKb;
    Random random(options.seed);

    auto history = std::make_unique<HistoryState>();
    ScopeState scope;
    Surface* scopeSurface = nullptr;
    const Module modules[] = {
        {"history",
         [&](Surface& surface, ClientSize size, Random& r) {
             history->drawDC = &surface;
             setClientSize(*history, size.width, size.height);
             buildPalette(*history);
             setMode(*history, r.below(2));
             speedValue(*history, r.below(400) - 100);
             // Mostly the dialog's range; now and then what a damaged settings file gives.
             const float brightness = r.below(8) == 0
                                          ? static_cast<float>(r.next() % 4294967296ull) * 0.01f
                                          : 0.2f + static_cast<float>(r.below(19)) * 0.1f;
             brightnessValue(*history, brightness);
         },
         [&](const winampVisModule& frame) { historyRender(*history, frame); }},
        {"oscilloscope", [&](Surface& surface, ClientSize, Random&) { scopeSurface = &surface; },
         [&](const winampVisModule& frame) { oscilloscopeRender(*scopeSurface, frame); }},
        {"vu-meter", [&](Surface& surface, ClientSize, Random&) { scopeSurface = &surface; },
         [&](const winampVisModule& frame) { vuMeterRender(scope, *scopeSurface, frame); }},
    };

    // The warm-up, a tenth of each module's renders with the largest size among them; then the
    // rest, after which the memory held must be what it was after the warm-up.
    const long long period = std::clamp<long long>(options.renders / 20, 1, 1000);
    Soak soaks[] = {
        {modules[0], random, period}, {modules[1], random, period}, {modules[2], random, period}};
    const long long warmUp =
        std::min(options.renders,
                 std::max<long long>(SizeSchedule::kLargestRenders + 1, options.renders / 10));
    for (Soak& soak : soaks)
        soak.run(warmUp);
    const long long warmKb = settledRssKb();
    for (Soak& soak : soaks) {
        soak.run(options.renders - warmUp);
        soak.report();
    }
    history.reset();
    const long long endKb = settledRssKb();
    const Memory memory = memoryNow();
    const long long growthKb = endKb - warmKb;
    const long long boundKb = options.maxGrowthKb + kSanitizerSlackKb;
    std::printf("rss kB: start %lld  after warm-up %lld  end %lld  peak %lld  growth %lld "
                "(bound %lld)\n",
                startKb, warmKb, endKb, memory.peakKb, growthKb, boundKb);
    if (growthKb <= boundKb) return 0;
    std::printf("FAILED: resident size grew by %lld kB after the warm-up\n", growthKb);
    return 1;
}

} // namespace
} // namespace lumacore

int main(int argc, char** argv) {
    lumacore::Options options;
    if (!lumacore::parse(argc, argv, options)) return 2;
    return lumacore::run(options);
}
