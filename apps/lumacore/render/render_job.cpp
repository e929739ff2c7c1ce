#include "render/render_job.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "analysis/analyser.h"
#include "analysis/frames_export.h"
#include "frames/frames_file.h"
#include "output/frame_sink.h"
#include "output/progress.h"
#include "render/module_driver.h"
#include "render/rgba.h"
#include "render/start_offset.h"

namespace lumacore::cli {
namespace {

// Render calls from the analysis of a sound or from a recorded frames file.
class CallSource {
  public:
    virtual ~CallSource() = default;
    virtual bool next(winampVisModule& module, double& timeSeconds) = 0;
};

class AnalysedCalls final : public CallSource {
  public:
    AnalysedCalls(std::unique_ptr<AudioSource> sound, double rate)
        : sound_(std::move(sound)), analyser_(*sound_, rate) {}
    bool next(winampVisModule& module, double& time) override {
        return analyser_.next(module, time);
    }

  private:
    std::unique_ptr<AudioSource> sound_;
    Analyser analyser_;
};

class RecordedCalls final : public CallSource {
  public:
    RecordedCalls(const std::string& path, double start) : reader_(path), start_(start) {}
    const FramesHeader& header() const { return reader_.header(); }
    bool next(winampVisModule& module, double& time) override {
        Frame frame;
        while (reader_.next(frame)) {
            const double at = static_cast<double>(frame.timeUs) / 1e6;
            if (at < start_) continue;
            loadFrame(frame, module);
            time = at - start_;
            return true;
        }
        return false;
    }

  private:
    FramesReader reader_;
    double start_;
};

std::unique_ptr<AudioSource> openSound(const std::string& input) {
    return input.empty() ? demoTune() : openAudio(input);
}

// The frame rate as the video's ratio: whole rates exactly, NTSC-style rates over 1001, the
// rest to a thousandth.
void frameRateRatio(double fps, int& numerator, int& denominator) {
    if (std::fabs(fps - std::round(fps)) < 1e-9) {
        numerator = static_cast<int>(std::lround(fps));
        denominator = 1;
    } else if (std::fabs(fps * 1001 / 1000 - std::round(fps * 1001 / 1000)) < 1e-6) {
        numerator = static_cast<int>(std::lround(fps * 1001));
        denominator = 1001;
    } else {
        numerator = static_cast<int>(std::lround(fps * 1000));
        denominator = 1000;
    }
}

} // namespace

std::string bannerTitle(const std::optional<std::string>& given, const std::string& path,
                        const std::string& artist, const std::string& title) {
    if (given) return *given;
    if (!artist.empty() && !title.empty()) return artist + " - " + title;
    if (!title.empty()) return title;
    if (path.empty()) return "Lumacore demo";
    return std::filesystem::path(path).filename().string();
}

void runRender(RenderOptions options) {
    applyDefaults(options);
    if (const std::string problem = checkOptions(options); !problem.empty())
        throw std::invalid_argument(problem);
    const bool still = [&] {
        const std::filesystem::path out(options.output);
        std::string ext = out.extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return ext == ".png";
    }();
    if (still && options.at < options.start)
        throw std::invalid_argument("--at must not be before --start");

    // The calls first: a bad input is reported before an output is created.
    std::unique_ptr<CallSource> calls;
    double totalSeconds = options.duration;
    std::string title;
    if (!options.framesFile.empty()) {
        auto recorded = std::make_unique<RecordedCalls>(options.framesFile, options.start);
        const FramesHeader& h = recorded->header();
        const double seconds =
            h.frameCount / (static_cast<double>(h.frameRate.numerator) / h.frameRate.denominator);
        if (totalSeconds < 0) totalSeconds = std::max(0.0, seconds - options.start);
        title = bannerTitle(options.title, options.framesFile, "", "");
        calls = std::move(recorded);
    } else {
        auto sound = startingAt(openSound(options.input), options.start);
        const AudioInfo info = sound->info();
        if (totalSeconds < 0 && info.durationSeconds >= 0) totalSeconds = info.durationSeconds;
        title = bannerTitle(options.title, options.input, info.artist, info.title);
        calls = std::make_unique<AnalysedCalls>(std::move(sound), options.rate);
    }

    SinkOptions sink;
    sink.width = options.width * options.scale;
    sink.height = options.height * options.scale;
    frameRateRatio(options.fps, sink.fpsNumerator, sink.fpsDenominator);
    sink.durationSeconds = options.duration;
    if (options.framesFile.empty() && !still) {
        const std::string input = options.input;
        const double start = options.start;
        sink.openSound = [input, start] { return startingAt(openSound(input), start); };
    }
    std::unique_ptr<FrameSink> output = openSink(options.output, sink);

    ModuleDriver driver(options, title);
    winampVisModule module;
    module.nCh = 2;
    module.sRate = 44100;
    double callTime = 0;
    bool more = calls->next(module, callTime);
    const double end =
        options.duration > 0 ? options.duration : std::numeric_limits<double>::infinity();
    const double stillTime = options.at - options.start;
    const std::int64_t expected =
        still ? 1
              : (std::isfinite(totalSeconds) && totalSeconds >= 0
                     ? static_cast<std::int64_t>(std::ceil(totalSeconds * options.fps))
                     : -1);
    Progress progress(expected, !options.quiet);
    std::vector<std::uint8_t> rgba;
    double lastCall = -1;
    for (std::int64_t k = 0;; ++k) {
        const double frameTime = still ? stillTime : static_cast<double>(k) / options.fps;
        if (!still && frameTime >= end) break;
        while (more && callTime <= frameTime && callTime < end) {
            driver.render(module, callTime);
            lastCall = callTime;
            more = calls->next(module, callTime);
        }
        // The sound has ended: no picture beyond its last call.
        if (!more && frameTime > lastCall + 1.0 / options.rate && !still) break;
        if (still && !more && lastCall < stillTime - 1.0 / options.rate)
            throw std::invalid_argument("--at lies beyond the end of the input");
        toRgba(driver.picture(), options.scale, rgba);
        output->write(rgba.data());
        progress.update(k + 1);
        if (still) break;
    }
    output->finish();
    progress.finish();
}

void runAnalyse(const std::string& input, const std::string& output, double rate) {
    if (!std::isfinite(rate) || rate <= 0 || rate > 1000)
        throw std::invalid_argument("--rate must be above 0 and at most 1000");
    auto sound = openSound(input);
    writeFramesFile(*sound, rate, output);
}

} // namespace lumacore::cli
