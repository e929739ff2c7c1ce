// The listener: the capture fills the shared sample buffer, the live clock says which moment of
// it each picture shows, and the live window shows the module. It is the picture loop's clock
// and its sink.
#include "listen/listen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "host/display_settings.h"
#include "host/file_error.h"
#include "host/xdg_settings_path.h"
#include "listen/app_match.h"
#include "listen/capture_choice.h"
#include "listen/fifo_capture.h"
#include "listen/now_playing.h"
#include "live/live_display.h"
#include "pipeline/live_analysis.h"
#include "pipeline/picture_loop.h"

namespace lumacore::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kReconnectSeconds = 1.0; // between attempts while the server is away
constexpr double kNoticeSeconds = 4.0;    // a notice stands in the banner's place this long
constexpr double kSettleSeconds = 1.0;    // the most the start waits for the session bus
// A window whose picture rests looks at its bus, title, server and clock this often; sound and
// the window's events wake it at once.
constexpr double kRestLookSeconds = 0.25;

// Seconds on the steady clock.
double secondsNow() {
    return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

class Listener final : public Clock, public PictureSink {
  public:
    // `follow`: the capture records the media player shown in the banner, as it changes.
    Listener(const ListenOptions& options, std::unique_ptr<SoundCapture> capture,
             std::unique_ptr<NowPlaying> nowPlaying, bool follow)
        : options_(options), capture_(std::move(capture)),
          live_(std::make_unique<LiveDisplay>(options_, analysis_.calls())),
          runner_(live_->runner()), nowPlaying_(std::move(nowPlaying)), follow_(follow) {
        period_ = live_->refreshPeriod();
        live_->presentAtOnce();
        analysis_.restartAt(secondsNow(), live_->rate());
        analysis_.drive(&runner_);
        capture_->arrival().setWaker(live_->waker());
        showTitle(secondsNow());
    }
    ~Listener() override {
        capture_->arrival().setWaker(nullptr); // before the window goes
        analysis_.drive(nullptr);
        live_.reset(); // its runner reads the calls, which read the sound
    }

    int run() {
        LoopOptions loop;
        loop.callPeriod = 1.0 / live_->rate();
        runPictures(*this, runner_, *this, loop);
        return live_->finish() ? 0 : 1;
    }

    std::optional<double> nextPicture() override {
        for (;;) {
            const double now = secondsNow();
            // The window's events, the bus and the title twice a refresh period at most: the
            // loop itself wakes for every fragment of sound.
            if (now - lastLooked_ >= period_ / 2) {
                lastLooked_ = now;
                std::vector<std::string> dropped; // nothing to play them in: ignored
                bool quit = false;
                for (const KeyAction action : live_->takeEvents(dropped, quit))
                    if (action == KeyAction::Pause) analysis_.setPaused(!analysis_.paused());
                if (quit) return std::nullopt;
                nowPlaying_->update();
                if (follow_) followPlayer(now);
                showTitle(now);
                if (options_.duration && now - started_ >= *options_.duration) return std::nullopt;
            }
            // While the server is away the picture stands: that time is not silence.
            const double time = takeSound(now) ? analysis_.pictureTime(now) : analysis_.shown();
            if (analysis_.paused()) {
                if (!live_->current()) show(runner_.picture());
                sleep(now, kRestLookSeconds, false); // until a key
                continue;
            }
            // A picture at rest changes only with sound (or a banner tick, or the window): the
            // sound is taken and the runner advanced now and then, and a picture shown only when
            // it changed (show()). Sound wakes it, and the loop then runs as usual until its
            // calls have been made.
            if (runner_.atRest() && live_->current() && now - wokenAt_ >= kRestLookSeconds) {
                if (now - lastRestLook_ >= kRestLookSeconds) {
                    lastRestLook_ = now;
                    return time;
                }
                const double until = kRestLookSeconds - (now - lastRestLook_);
                if (sleep(now, until, true)) {
                    wokenAt_ = secondsNow();
                    analysis_.relearnPace(wokenAt_);
                }
                continue;
            }
            // A picture as soon as there is a new call to show; otherwise at least one a
            // refresh period, and meanwhile the sound is waited for.
            const double since = now - lastShown_;
            const bool newCall = runner_.callsAhead() && time >= runner_.nextCallTime();
            if (newCall || since >= period_) return time;
            capture_->waitForSound(std::min(period_ - since, period_ / 2));
        }
    }

    void show(const Bitmap& picture) override {
        if (runner_.atRest() && live_->current()) return; // the window shows it already
        live_->show(picture, analysis_.shown());
        lastShown_ = secondsNow();
    }

  private:
    // Sleeps until the window has an event, `seconds` have passed (or the end --duration sets)
    // and, when `forSound`, until sound (not silence) comes in. True when sound came.
    bool sleep(double now, double seconds, bool forSound) {
        if (options_.duration) seconds = std::min(seconds, started_ + *options_.duration - now);
        SoundArrival& arrival = capture_->arrival();
        if (!forSound || arrival.rest()) live_->waitForEvents(std::max(seconds, 0.0));
        lastLooked_ = 0; // whatever woke it is looked at now
        return forSound && arrival.endRest();
    }

    // The frames captured since the last picture go to the live analysis; a server that went
    // away is tried again every second, without ever waiting for it. False while it is away.
    bool takeSound(double now) {
        const SoundCapture::Link link = capture_->link();
        if (link != SoundCapture::Link::Recording) {
            if (!away_) {
                away_ = true;
                showTitle(now);
            }
            if (link == SoundCapture::Link::Away && now - lastAttempt_ >= kReconnectSeconds) {
                lastAttempt_ = now;
                capture_->reconnect();
            }
            return false;
        }
        if (away_) {
            away_ = false;
            showTitle(now);
            analysis_.restartAt(now, live_->rate()); // the time away was not silence
        }
        if (const std::string notice = capture_->takeNotice(); !notice.empty()) say(notice);
        incoming_.clear();
        const CapturedFrames taken = capture_->take(incoming_);
        // Lost: this thread stalled longer than the capture's queue holds.
        analysis_.lost(now, taken.lost, taken.latency);
        analysis_.hear(now, incoming_.data(), static_cast<std::int64_t>(taken.frames),
                       taken.latency);
        return true;
    }

    // The media player shown in the banner is the application recorded; without one, the
    // default sink's monitor, said once in the banner's place.
    void followPlayer(double now) {
        const std::optional<NowPlaying::PlayerView> player = nowPlaying_->shown();
        if (player && player->pid == 0) return; // its process is not known yet
        std::optional<AppChoice> app;
        if (player) app = playerApp(player->name, player->pid);
        if (followed_ && app == *followed_) return;
        followed_ = app;
        capture_->retarget(app ? CaptureTarget{"", app} : CaptureTarget{});
        if (!app) {
            notice_ = "no media player: all the desktop plays";
            noticeUntil_ = now + kNoticeSeconds;
        }
    }

    // "no sound" while the server is away; else a notice for its time; else --title, else what
    // the desktop's player announces, else the source's description (or the application's name).
    void showTitle(double now) {
        std::string title = "no sound";
        if (!away_) {
            title = options_.title.value_or(nowPlaying_->title());
            if (now < noticeUntil_) title = notice_;
            if (title.empty()) title = capture_->description();
        }
        if (title == shownTitle_) return;
        shownTitle_ = title;
        live_->setTitle(title);
    }

    ListenOptions options_;
    std::unique_ptr<SoundCapture> capture_;
    LiveAnalysis analysis_{SoundCapture::kSampleRate};
    std::unique_ptr<LiveDisplay> live_;
    ModuleRunner& runner_;
    std::vector<float> incoming_;
    double lastShown_ = 0;     // wall time of the last picture shown
    double lastLooked_ = 0;    // and of the last look at the window's events
    double lastRestLook_ = 0;  // and of the last picture's time taken at rest
    double wokenAt_ = 0;       // and of the last sound that ended a rest
    double period_ = 1.0 / 60; // a picture at least this often
    double started_ = secondsNow();
    bool away_ = false;
    std::unique_ptr<NowPlaying> nowPlaying_;
    bool follow_ = false;
    std::optional<std::optional<AppChoice>> followed_; // the player's application, once chosen
    std::string notice_;
    double noticeUntil_ = 0;
    std::string shownTitle_;
    double lastAttempt_ = secondsNow();
};

// Waits a little for the session bus to say which media players there are and what they play.
void settle(NowPlaying& nowPlaying) {
    const double until = secondsNow() + kSettleSeconds;
    for (nowPlaying.update(); !nowPlaying.settled() && secondsNow() < until; nowPlaying.update())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Whether the settings file makes --follow-player the default.
bool followPlayerByDefault() {
    try {
        return loadDisplaySettings(userSettingsPath(), {}).settings.followPlayer;
    } catch (const FileError&) {
        return false; // no settings file can be kept: the window says so
    }
}

// One line an application: the one --follow-player takes marked; name, binary, process id,
// sinks and the media player's title, tab-separated ("-" where unknown).
void printApps(std::FILE* out, const std::vector<PlayingStream>& streams,
               const NowPlaying& nowPlaying) {
    std::vector<PlayerApp> players;
    for (const NowPlaying::PlayerView& player : nowPlaying.players())
        players.push_back({playerApp(player.name, player.pid), player.title});
    std::optional<AppChoice> followed;
    if (const auto shown = nowPlaying.shown()) followed = playerApp(shown->name, shown->pid);
    const auto orDash = [](const std::string& text) {
        return text.empty() ? "-" : shownEscaped(text);
    };
    for (const PlayingApp& app : playingApps(streams, players, followed)) {
        std::string sinks;
        for (const std::string& sink : app.sinks)
            sinks += (sinks.empty() ? "" : ",") + sink;
        const std::string pid = app.owner.pid > 0 ? std::to_string(app.owner.pid) : "";
        std::fprintf(out, "%s%s\t%s\t%s\t%s\t%s\n", app.followed ? "* " : "  ",
                     orDash(app.owner.name).c_str(), orDash(app.owner.binary).c_str(),
                     orDash(pid).c_str(), orDash(sinks).c_str(), orDash(app.title).c_str());
    }
}

void printSources(std::FILE* out, const SoundSources& list) {
    for (const SoundSource& source : list.sources) {
        const bool isDefault = source.name == list.defaultSinkMonitor;
        std::fprintf(out, "%s%s\t%s\n", isDefault ? "* " : "  ", shownEscaped(source.name).c_str(),
                     shownEscaped(source.description).c_str());
    }
}

} // namespace

int runListen(ListenOptions options) {
    checkLiveOptions(options);
    const int chosen = !options.source.empty() + !options.app.empty() + options.followPlayer;
    if (chosen > 1)
        throw std::invalid_argument(
            "--source, --app and --follow-player each say what to record: give one of them");
    std::optional<AppChoice> app;
    if (!options.app.empty() && !(app = AppChoice::parse(options.app)))
        throw std::invalid_argument("--app takes an application's name or a process id, not '" +
                                    shownEscaped(options.app) + "'");
    // Every process descends from lumacore's own ancestors (the terminal, the session, init), so
    // one of them would record every application.
    if (app && app->pid > 0 && descendsFrom(getpid(), app->pid))
        throw std::invalid_argument(
            "--app " + options.app +
            ": that process started lumacore (or one that did), so every application descends from "
            "it; give the application's own process or its name");

    const SoundApi requested = soundApiNamed(options.soundApi);
    if (!options.fifo.empty()) {
        if (chosen > 0 || options.listSources || options.listApps ||
            requested != SoundApi::Automatic)
            throw std::invalid_argument("--fifo is what to record: give no --source, --app, "
                                        "--follow-player, --list-sources, --list-apps or "
                                        "--sound-api with it");
        const FifoFormat format = FifoFormat::parse(options.fifoFormat);
        auto capture = std::make_unique<FifoCapture>(options.fifo, format);
        auto nowPlaying = std::make_unique<NowPlaying>();
        Listener listener(options, std::move(capture), std::move(nowPlaying), false);
        return listener.run();
    }
    const SoundApi api = chosenSoundApi(requested);
    if (options.listSources) {
        const auto capture = openCapture(api, {});
        say("recording through " + soundApiName(api));
        printSources(stdout, capture->sources());
        return 0;
    }
    auto nowPlaying = std::make_unique<NowPlaying>();
    const bool follow = options.followPlayer || (chosen == 0 && followPlayerByDefault());
    if (options.listApps || follow) settle(*nowPlaying);
    if (options.listApps) {
        printApps(stdout, openCapture(api, {})->streams(), *nowPlaying);
        return 0;
    }
    CaptureTarget target{options.source, app};
    if (follow) {
        if (const auto player = nowPlaying->shown(); player && player->pid > 0)
            target.app = playerApp(player->name, player->pid);
    }
    std::unique_ptr<SoundCapture> capture;
    try {
        capture = openCapture(api, target);
    } catch (const CaptureError& error) {
        if (options.source.empty()) throw;
        say(shownEscaped(error.what()));
        std::fprintf(stderr, "the sources of the sound server (* what the desktop plays):\n");
        printSources(stderr, openCapture(api, {})->sources());
        return 1;
    }
    if (app && capture->appStreams() == 0)
        say("nothing of " + shownEscaped(app->describe()) +
            " is playing now; waiting for it to play");
    Listener listener(options, std::move(capture), std::move(nowPlaying), follow);
    return listener.run();
}

} // namespace lumacore::cli
