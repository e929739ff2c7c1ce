// `lumacore render` in four steps: the options are checked, the output is classified, the
// source of Render calls is chosen (the analysis of the sound, decoded once into the shared sample
// buffer, or a frames file), and the picture loop runs the module on the offline clock.
#include "render/render_job.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

#include "analysis/frames_export.h"
#include "audio/limits.h"
#include "audio/sample_buffer.h"
#include "background/background_image.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "output/frame_sink.h"
#include "output/progress.h"
#include "output/queued_sink.h"
#include "pipeline/banner_text.h"
#include "pipeline/call_source.h"
#include "pipeline/clock.h"
#include "pipeline/picture_loop.h"
#include "render/background_sink.h"
#include "render/output_pictures.h"

namespace lumacore::cli {
namespace {

std::unique_ptr<AudioSource> openSound(const std::string& input) {
    return input.empty() ? demoTune() : openAudio(input);
}

// Where a run's Render calls come from, and what is known about the input.
struct Input {
    std::shared_ptr<SampleBuffer> samples; // the sound decoded once for every reader; none for
                                           // a frames file
    std::int64_t startFrame = 0;           // the sample buffer's frame at --start
    std::unique_ptr<CallSource> calls;
    std::string title;
    double seconds = -1; // from --start to the input's end; -1 when unknown
};

Input openInput(const RenderOptions& options) {
    Input in;
    if (!options.framesFile.empty()) {
        auto recorded = std::make_unique<RecordedCalls>(options.framesFile, options.start);
        in.seconds = std::max(0.0, recorded->lengthSeconds() - options.start);
        in.title = bannerTitle(options.title, options.framesFile, "", "");
        in.calls = std::move(recorded);
        return in;
    }
    std::unique_ptr<AudioSource> sound = openSound(options.input);
    const AudioInfo info = sound->info();
    in.startFrame = checkedInt64(std::round(options.start * info.sampleRate), "--start");
    if (in.startFrame > 0) sound->seek(in.startFrame);
    in.samples = std::make_shared<SampleBuffer>(std::move(sound), in.startFrame);
    if (info.durationSeconds >= 0) in.seconds = std::max(0.0, info.durationSeconds - options.start);
    in.title = bannerTitle(options.title, options.input, info.artist, info.title);
    in.calls = std::make_unique<AnalysedCalls>(*in.samples, options.rate, in.startFrame);
    return in;
}

// The frame rate as the video's ratio: whole rates exactly, NTSC-style rates over 1001, the
// rest to a thousandth.
void frameRateRatio(double fps, int& numerator, int& denominator) {
    if (std::fabs(fps - std::round(fps)) < 1e-9) {
        numerator = static_cast<int>(checkedInt64(std::round(fps), "--fps"));
        denominator = 1;
    } else if (std::fabs(fps * 1001 / 1000 - std::round(fps * 1001 / 1000)) < 1e-6) {
        numerator = static_cast<int>(checkedInt64(std::round(fps * 1001), "--fps"));
        denominator = 1001;
    } else {
        numerator = static_cast<int>(checkedInt64(std::round(fps * 1000), "--fps"));
        denominator = 1000;
    }
}

// The picture behind the display at the output's size: the picture file (`picture`, or decoded
// here), or the input's cover art. A cover art that is missing, damaged or too large leaves the
// background black, said in one line: the input itself still renders. Null without --background.
std::shared_ptr<const Bitmap> background(const RenderOptions& options,
                                         std::shared_ptr<const Bitmap> picture,
                                         RenderProgress& progress) {
    if (options.background != "cover") return picture ? picture : backgroundPicture(options);
    const int width = options.width * options.scale;
    const int height = options.height * options.scale;
    const std::string input = options.framesFile.empty() ? options.input : "";
    std::string why =
        input.empty() ? "no cover art without a sound file" : "no cover art in '" + input + "'";
    if (!input.empty()) {
        try {
            if (std::optional<Bitmap> art = loadCoverArt(input, width, height))
                return std::make_shared<const Bitmap>(std::move(*art));
        } catch (const BackgroundError& error) {
            why = error.what();
        }
    }
    progress.note(why + ": the background is black");
    return std::make_shared<const Bitmap>(width, height);
}

// The single render's bar, made once the render knows how many pictures to expect.
class ProgressBar : public RenderProgress {
  public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}
    void begin(std::int64_t expectedPictures) override { bar_.emplace(expectedPictures, enabled_); }
    void update(std::int64_t pictures) override {
        if (bar_) bar_->update(pictures);
    }

  private:
    bool enabled_;
    std::optional<Progress> bar_; // ends its line when it goes
};

} // namespace

void RenderProgress::note(const std::string& line) {
    std::fprintf(stderr, "lumacore: %s\n", line.c_str());
}

std::shared_ptr<const Bitmap> backgroundPicture(const RenderOptions& options) {
    if (options.background.empty() || options.background == "cover") return nullptr;
    return std::make_shared<const Bitmap>(loadBackgroundImage(
        options.background, options.width * options.scale, options.height * options.scale));
}

std::int64_t expectedPictures(const RenderOptions& options, double secondsAfterStart) {
    const double totalSeconds = options.duration.value_or(secondsAfterStart);
    // A length the input's header claims beyond any render counts as unknown.
    const bool known = totalSeconds >= 0 && totalSeconds <= kMaxStreamSeconds;
    return known ? checkedInt64(std::ceil(totalSeconds * options.fps), "--fps") : -1;
}

void runRender(RenderOptions options) {
    ProgressBar bar(!options.quiet);
    runRender(std::move(options), bar);
}

void runRender(RenderOptions options, RenderProgress& progress,
               std::shared_ptr<const Bitmap> picture) {
    // 1. The options.
    applyDefaults(options);
    if (const std::string problem = checkOptions(options); !problem.empty())
        throw std::invalid_argument(problem);
    // 2. The output: one classification for the checks and the sink alike.
    const OutputTarget target = classifyOutput(options.output);
    const bool still = target.kind == OutputKind::Still;
    if (still && options.at < options.start)
        throw std::invalid_argument("--at must not be before --start");
    if (!options.background.empty() && target.kind == OutputKind::Raw)
        throw std::invalid_argument("--background needs a picture or video output, not raw frames");
    if (options.transparent && !carriesAlpha(target))
        throw std::invalid_argument("--transparent needs an output that carries transparency: "
                                    ".png, a PNG sequence's folder, .webm or .mov");

    // 3. The calls and the background, before any output exists: a bad input leaves nothing
    // behind.
    Input in = openInput(options);
    const std::shared_ptr<const Bitmap> behind =
        options.background.empty() ? nullptr : background(options, std::move(picture), progress);
    const Display display{options.module, options.threeD, options.brightness,
                          options.width,  options.height, options.transparent || behind != nullptr};
    FreetypeTextRenderer text;
    ModuleRunner runner(display, in.title, *in.calls, text);
    if (options.duration) runner.endCallsAt(*options.duration);
    if (runner.empty())
        throw std::invalid_argument(options.start > 0 ? "--start lies beyond the end of the input"
                                                      : "the input holds nothing to render");

    SinkOptions sink;
    sink.width = options.width * options.scale;
    sink.height = options.height * options.scale;
    sink.scale = options.scale;
    sink.quality = options.quality;
    sink.transparent = options.transparent;
    frameRateRatio(options.fps, sink.fpsNumerator, sink.fpsDenominator);
    sink.durationSeconds = options.duration.value_or(-1);
    if (target.kind == OutputKind::Video && in.samples) {
        sink.sound = in.samples;
        sink.soundFrom = in.startFrame;
    }
    std::unique_ptr<FrameSink> output;
    if (behind) {
        // The output takes the pictures laid over the background at its own size.
        sink.scale = 1;
        output = std::make_unique<BackgroundSink>(openSink(target, sink), behind, options.scale);
    } else {
        output = openSink(target, sink);
    }
    // Outputs that convert and encode every picture do so on a thread of their own, beside the
    // rendering; the null output and a still have nothing to overlap.
    if (target.kind != OutputKind::Null && !still)
        output = std::make_unique<QueuedSink>(std::move(output));

    // 4. The loop, on the offline clock.
    progress.begin(still ? 1 : expectedPictures(options, in.seconds));
    std::unique_ptr<Clock> clock;
    if (still)
        clock = std::make_unique<MomentClock>(options.at - options.start);
    else
        clock = std::make_unique<FrameClock>(
            options.fps, options.duration.value_or(std::numeric_limits<double>::infinity()));
    OutputPictures toOutput(*output);
    LoopOptions loop;
    loop.callPeriod = 1.0 / options.rate;
    loop.onPicture = [&progress](std::int64_t pictures) { progress.update(pictures); };
    if (runPictures(*clock, runner, toOutput, loop) == 0 && still)
        throw std::invalid_argument("--at lies beyond the end of the input");
    output->finish();
}

void runAnalyse(const std::string& input, const std::string& output, double rate) {
    if (const std::string problem = checkCallRate(rate); !problem.empty())
        throw std::invalid_argument(problem);
    auto sound = openSound(input);
    writeFramesFile(*sound, rate, output);
}

} // namespace lumacore::cli
