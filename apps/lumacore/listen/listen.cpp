// The listener: the capture fills the shared sample buffer, the live clock says which moment of
// it each picture shows, and the live window shows the module. It is the picture loop's clock
// and its sink.
#include "listen/listen.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "analysis/analyser.h"
#include "listen/now_playing.h"
#include "listen/pulse_capture.h"
#include "live/live_display.h"
#include "pipeline/entry_calls.h"
#include "pipeline/live_clock.h"
#include "pipeline/live_sound.h"
#include "pipeline/picture_loop.h"
#include "pipeline/sample_buffer.h"

namespace lumacore::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kReconnectSeconds = 1.0; // between attempts while the server is away

// Seconds on the steady clock.
double secondsNow() {
    return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

class Listener final : public Clock, public PictureSink {
  public:
    Listener(const ListenOptions& options, std::unique_ptr<PulseCapture> capture)
        : options_(options), capture_(std::move(capture)),
          live_(std::make_unique<LiveDisplay>(options_, calls_)), runner_(live_->runner()) {
        clock_.restart(secondsNow());
        restart();
        showTitle();
    }
    ~Listener() override {
        live_.reset(); // its runner reads the calls, which read the sound
        calls_.reset();
    }

    int run() {
        LoopOptions loop;
        loop.callPeriod = 1.0 / live_->rate();
        runPictures(*this, runner_, *this, loop);
        return live_->finish() ? 0 : 1;
    }

    std::optional<double> nextPicture() override {
        for (;;) {
            std::vector<std::string> dropped; // nothing to play them in: ignored
            bool quit = false;
            for (const KeyAction action : live_->takeEvents(dropped, quit))
                if (action == KeyAction::Pause) setPaused(!paused_);
            if (quit) return std::nullopt;
            const double now = secondsNow();
            takeSound(now);
            nowPlaying_.update();
            showTitle();
            if (options_.duration && now - started_ >= *options_.duration) return std::nullopt;
            if (paused_) {
                show(runner_.picture());
                continue;
            }
            // As the clock says, no later than the newest call whose sound is in, never back.
            lastTime_ = std::max(lastTime_, std::min(clock_.at(now), newestCall()));
            return lastTime_;
        }
    }

    void show(const Bitmap& picture) override { live_->show(picture, lastTime_); }

  private:
    // The analysis starts again at the live position (at the start, after a pause, a
    // reconnection or sound that could not be kept): nothing old is drawn late.
    void restart() {
        calls_.reset();
        samples_.reset();
        auto sound = std::make_unique<CapturedSound>(PulseCapture::kSampleRate);
        sound_ = sound.get();
        first_ = clock_.covered();
        samples_ = std::make_shared<SampleBuffer>(std::move(sound), first_);
        calls_.setCaptured(first_);
        calls_.start(*samples_, live_->rate(), first_);
        // The first call here becomes due once its whole window has come in.
        lastTime_ = newestCall();
        runner_.seek(lastTime_);
    }

    // The frames captured since the last picture go to the buffer (or nowhere while paused),
    // with silence where the source has gone quiet; a server that went away is tried again
    // every second, without ever waiting for it.
    void takeSound(double now) {
        const PulseCapture::Link link = capture_->link();
        if (link != PulseCapture::Link::Recording) {
            if (!away_) {
                away_ = true;
                showTitle();
            }
            if (link == PulseCapture::Link::Away && now - lastAttempt_ >= kReconnectSeconds) {
                lastAttempt_ = now;
                capture_->reconnect();
            }
            return;
        }
        if (away_) {
            away_ = false;
            showTitle();
            clock_.restart(now); // the time away was not silence
            restart();
        }
        incoming_.clear();
        const CapturedFrames taken = capture_->take(incoming_);
        if (taken.lost > 0) { // this thread stalled longer than the capture's queue holds
            clock_.arrived(now, taken.lost, taken.latency);
            restart();
        }
        const auto count = static_cast<std::int64_t>(taken.frames);
        const std::int64_t kept = clock_.arrived(now, count, taken.latency);
        keep(incoming_.data() + 2 * (count - kept), kept);
        if (const std::int64_t silence = clock_.silenceDue(now); silence > 0) {
            incoming_.assign(2 * static_cast<std::size_t>(silence), 0.0f);
            keep(incoming_.data(), silence);
        }
        calls_.setCaptured(clock_.covered());
        runner_.poll();
    }

    // Frames for the analysis; what could not wait makes it start again from here.
    void keep(const float* frames, std::int64_t count) {
        if (paused_ || count <= 0) return;
        if (!sound_->push(frames, static_cast<std::size_t>(count))) restart();
    }

    // The time of the newest call whose whole window has been captured; before the first one,
    // one call period before it.
    double newestCall() const {
        return newestLiveCallSeconds(clock_.covered(), first_, live_->rate(),
                                     PulseCapture::kSampleRate);
    }

    void setPaused(bool paused) {
        paused_ = paused;
        if (!paused_) restart();
    }

    // "no sound" while the server is away; else --title, else what the desktop's player
    // announces, else the source's description.
    void showTitle() {
        std::string title = "no sound";
        if (!away_) {
            title = options_.title.value_or(nowPlaying_.title());
            if (title.empty()) title = capture_->description();
        }
        if (title == shownTitle_) return;
        shownTitle_ = title;
        live_->setTitle(title);
    }

    ListenOptions options_;
    std::unique_ptr<PulseCapture> capture_;
    LiveClock clock_{PulseCapture::kSampleRate, kAnalysisWindow};
    std::shared_ptr<SampleBuffer> samples_;
    CapturedSound* sound_ = nullptr; // the buffer's
    LiveCalls calls_{PulseCapture::kSampleRate};
    std::unique_ptr<LiveDisplay> live_;
    ModuleRunner& runner_;
    std::vector<float> incoming_;
    std::int64_t first_ = 0; // the frame the analysis started at, the last restart's
    double lastTime_ = 0;
    double started_ = secondsNow();
    bool paused_ = false;
    bool away_ = false;
    NowPlaying nowPlaying_;
    std::string shownTitle_;
    double lastAttempt_ = secondsNow();
};

void printSources(std::FILE* out, const SoundSources& list) {
    for (const SoundSource& source : list.sources) {
        const bool isDefault = source.name == list.defaultSinkMonitor;
        std::fprintf(out, "%s%s\t%s\n", isDefault ? "* " : "  ", source.name.c_str(),
                     source.description.c_str());
    }
}

} // namespace

int runListen(ListenOptions options) {
    checkLiveOptions(options);

    if (options.listSources) {
        PulseCapture server("");
        printSources(stdout, server.sources());
        return 0;
    }
    std::unique_ptr<PulseCapture> capture;
    try {
        capture = std::make_unique<PulseCapture>(options.source);
    } catch (const CaptureError& error) {
        if (options.source.empty()) throw;
        say(error.what());
        std::fprintf(stderr, "the sources of the sound server (* what the desktop plays):\n");
        printSources(stderr, PulseCapture("").sources());
        return 1;
    }
    Listener listener(options, std::move(capture));
    return listener.run();
}

} // namespace lumacore::cli
