// The listener: the capture fills the shared sample buffer, the frames captured are its clock,
// and play's window shows the module. It is the picture loop's clock and its sink.
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
#include "pipeline/live_sound.h"
#include "pipeline/picture_loop.h"
#include "pipeline/sample_buffer.h"

namespace lumacore::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kReconnectSeconds = 1.0; // between attempts while the server is away
constexpr double kQuietSeconds = 0.1;     // a source sending nothing this long is silent

class Listener final : public Clock, public PictureSink {
  public:
    Listener(const ListenOptions& options, std::unique_ptr<PulseCapture> capture)
        : options_(options), capture_(std::move(capture)),
          live_(std::make_unique<LiveDisplay>(options_, calls_)), runner_(live_->runner()) {
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
            takeSound();
            nowPlaying_.update();
            showTitle();
            const double time = capturedSeconds();
            const std::chrono::duration<double> listened = SteadyClock::now() - started_;
            if (options_.duration && listened.count() >= *options_.duration) return std::nullopt;
            if (paused_) {
                show(runner_.picture());
                continue;
            }
            lastTime_ = time;
            return time;
        }
    }

    void show(const Bitmap& picture) override { live_->show(picture, lastTime_); }

  private:
    // The analysis starts again at the live position (at the start, after a pause or a
    // reconnection): nothing old is drawn late.
    void restart() {
        calls_.reset();
        samples_.reset();
        auto sound = std::make_unique<CapturedSound>(PulseCapture::kSampleRate);
        sound_ = sound.get();
        samples_ = std::make_shared<SampleBuffer>(std::move(sound), captured_);
        first_ = captured_;
        calls_.setCaptured(captured_);
        calls_.start(*samples_, live_->rate(), first_);
        // The clock is the newest call whose window has been captured: the first call here
        // becomes due once its whole window has come in.
        lastTime_ = capturedSeconds();
        runner_.seek(lastTime_);
    }

    // The frames captured since the last picture go to the buffer (or nowhere while paused);
    // a server that went away is tried again every second.
    void takeSound() {
        if (!capture_->connected()) {
            if (!away_) {
                away_ = true;
                showTitle();
            }
            const auto now = SteadyClock::now();
            if (now - lastAttempt_ < std::chrono::duration<double>(kReconnectSeconds)) return;
            lastAttempt_ = now;
            if (!capture_->reconnect()) return;
            away_ = false;
            lastSound_ = SteadyClock::now(); // the time away was not silence
            showTitle();
            restart();
        }
        incoming_.clear();
        std::size_t count = capture_->take(incoming_);
        // A source with nothing to say (a suspended sink's monitor sends nothing at all) is
        // silence: the clock goes on and silence is drawn.
        const auto now = SteadyClock::now();
        const std::chrono::duration<double> quiet = now - lastSound_;
        if (count > 0) {
            lastSound_ = now;
        } else if (quiet.count() >= kQuietSeconds) {
            count = static_cast<std::size_t>(quiet.count() * PulseCapture::kSampleRate);
            incoming_.assign(2 * count, 0.0f);
            lastSound_ = now;
        }
        if (!paused_) sound_->push(incoming_.data(), count);
        captured_ += static_cast<std::int64_t>(count);
        calls_.setCaptured(captured_);
        runner_.poll();
    }

    // The time of the newest call whose whole window has been captured; before the first one,
    // one call period before it. The clock moves only when a call can be made, so that the loop
    // never takes the wait for a window to fill for the end of the sound.
    double capturedSeconds() const {
        return newestLiveCallSeconds(captured_, first_, live_->rate(), PulseCapture::kSampleRate);
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
    std::shared_ptr<SampleBuffer> samples_;
    CapturedSound* sound_ = nullptr; // the buffer's
    LiveCalls calls_{PulseCapture::kSampleRate};
    std::unique_ptr<LiveDisplay> live_;
    ModuleRunner& runner_;
    std::vector<float> incoming_;
    std::int64_t captured_ = 0; // frames captured since the start
    std::int64_t first_ = 0;    // the frame the analysis started at, the last restart's
    double lastTime_ = 0;
    SteadyClock::time_point started_ = SteadyClock::now();
    SteadyClock::time_point lastSound_ = SteadyClock::now();
    bool paused_ = false;
    bool away_ = false;
    NowPlaying nowPlaying_;
    std::string shownTitle_;
    SteadyClock::time_point lastAttempt_ = SteadyClock::now();
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
