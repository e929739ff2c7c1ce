// The player: the list, the window, the sound card and the module runner, tied together by the
// clock of the sound being heard. It is the picture loop's clock (the heard time of each next
// picture, after the window's events) and its sink (the window).
#include "play/play.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "audio/sample_buffer.h"
#include "live/live_display.h"
#include "pipeline/banner_text.h"
#include "pipeline/entry_calls.h"
#include "pipeline/picture_loop.h"
#include "play/audio_output.h"
#include "play/playlist.h"

namespace lumacore::cli {
namespace {

constexpr int kSampleRate = 44100;         // every entry is decoded to this rate
constexpr double kSeekStep = 5.0;          // seconds, Left and Right
constexpr double kQueueAhead = 0.1;        // seconds of sound queued beyond the card's buffers
constexpr std::size_t kBlockFrames = 2048; // frames queued at a time
// Paused, the window sleeps until an event, and looks for a signal's request this often.
constexpr double kPausedLookSeconds = 0.25;

using SteadyClock = std::chrono::steady_clock;

// What ended the playing of an entry.
enum class Outcome { Playing, Ended, Next, Previous, Jump, Quit };

class Player final : public Clock, public PictureSink {
  public:
    explicit Player(const PlayOptions& options);
    ~Player() override;
    // Plays the list; returns the exit status.
    int run();

    std::optional<double> nextPicture() override;
    void show(const Bitmap& picture) override;

  private:
    bool startEntry(double startSeconds);
    void readFrom(std::int64_t frame);
    void restartClock(double time);
    void seekBy(double seconds);
    void feedSound();
    double heardSeconds() const;
    void takeEvents();
    void onKey(KeyAction action);
    void setPaused(bool paused);
    void appendDropped(const std::vector<std::string>& dropped);

    PlayOptions options_;
    std::unique_ptr<AudioOutput> audio_;
    std::unique_ptr<Playlist> playlist_;

    // What is playing: its sound, the card's reader of it, the calls and the window whose runner
    // reads them (destroyed in the reverse order).
    std::shared_ptr<SampleBuffer> samples_;
    std::unique_ptr<SampleBuffer::Reader> cardReader_;
    EntryCalls calls_;
    std::unique_ptr<LiveDisplay> live_;
    ModuleRunner* runner_ = nullptr; // the window's
    double lengthSeconds_ = -1;      // of the entry; -1 when unknown

    // The clock.
    std::int64_t readFrom_ = 0;    // the frame reading began at (entry start or seek)
    std::int64_t cardFrame_ = 0;   // the next frame to queue
    std::int64_t queuedTotal_ = 0; // frames queued since readFrom_
    mutable std::int64_t heardFrame_ = 0;
    double wallBase_ = 0; // without sound: the time at wallStart_
    SteadyClock::time_point wallStart_;
    bool paused_ = false;
    double played_ = 0;       // seconds heard in earlier entries and before the last seek
    double segmentStart_ = 0; // the entry time that reading (or a seek) began at
    double lastTime_ = 0;     // the time of the last picture
    bool lastPicture_ = false;

    Outcome outcome_ = Outcome::Playing;
    std::size_t jumpTo_ = 0;
};

Player::Player(const PlayOptions& options)
    : options_(options), live_(std::make_unique<LiveDisplay>(options_, calls_)),
      runner_(&live_->runner()) {
    options_.rate = live_->rate();
    if (!options_.noSound && options_.framesFile.empty()) {
        try {
            audio_ = std::make_unique<AudioOutput>(kSampleRate);
        } catch (const PlayError& error) {
            say(std::string(error.what()) + "; the picture plays silent");
        }
    }
    std::vector<std::string> problems;
    playlist_ = std::make_unique<Playlist>(options_.inputs, options_.recursive, problems);
    for (const std::string& problem : problems)
        say(problem);
}

Player::~Player() {
    // The window's runner reads the calls, the calls and the card's reader read the sound.
    live_.reset();
    calls_.reset();
    cardReader_.reset();
}

int Player::run() {
    int played = 0;
    bool failed = false;      // an entry could not be played, or broke off
    std::size_t failures = 0; // entries in a row that could not be played
    bool first = true;
    while (!playlist_->empty()) {
        const bool started = startEntry(first ? options_.start : 0);
        first = false;
        if (started) {
            ++played;
            failures = 0;
            LoopOptions loop;
            loop.callPeriod = 1.0 / options_.rate;
            try {
                runPictures(*this, *runner_, *this, loop);
            } catch (const std::runtime_error& error) { // the sound broke off mid-way
                say(error.what());
                failed = true;
            }
            played_ += lastTime_ - segmentStart_;
        } else {
            ++failures;
            failed = true;
        }
        if (outcome_ == Outcome::Playing) outcome_ = Outcome::Ended;
        if (outcome_ == Outcome::Quit || lastPicture_) break;
        if (outcome_ == Outcome::Previous) {
            playlist_->previous();
        } else if (outcome_ == Outcome::Jump) {
            playlist_->select(jumpTo_);
        } else if (failures > playlist_->entries().size() || !playlist_->next(options_.loop)) {
            break;
        }
    }
    const bool dumped = live_->finish(played > 0);
    if (played == 0) {
        if (!failed) say("nothing to play");
        return 1;
    }
    // One input fails as render fails on it; of a list, a bad entry is said and passed over.
    const bool alone = playlist_->entries().size() <= 1;
    return dumped && !(failed && alone) ? 0 : 1;
}

bool Player::startEntry(double startSeconds) {
    outcome_ = Outcome::Playing;
    calls_.reset();
    cardReader_.reset();
    samples_.reset();
    std::string title;
    try {
        if (!options_.framesFile.empty()) {
            auto recorded = std::make_unique<RecordedCalls>(options_.framesFile, startSeconds);
            lengthSeconds_ = recorded->lengthSeconds();
            calls_.record(std::move(recorded), startSeconds);
            title = bannerTitle(options_.title, options_.framesFile, "", "");
            restartClock(startSeconds);
        } else {
            const std::string& path = playlist_->entry();
            std::unique_ptr<AudioSource> sound =
                path.empty() ? demoTune(kSampleRate) : openAudio(path, kSampleRate);
            const AudioInfo info = sound->info();
            lengthSeconds_ = info.durationSeconds;
            const auto frame = static_cast<std::int64_t>(std::llround(startSeconds * kSampleRate));
            if (frame > 0) sound->seek(frame);
            samples_ = std::make_shared<SampleBuffer>(std::move(sound), frame);
            title = bannerTitle(options_.title, path, info.artist, info.title);
            readFrom(frame);
        }
    } catch (const std::runtime_error& error) { // AudioError, FramesError
        say(error.what());
        return false;
    }
    if (!runner_->callsAhead()) { // as render says of the same input
        const std::string& path =
            options_.framesFile.empty() ? playlist_->entry() : options_.framesFile;
        const std::string name = path.empty() ? "the demo tune" : "'" + path + "'";
        say(startSeconds > 0 ? "--start lies beyond the end of " + name
                             : name + " holds nothing to play");
        return false;
    }
    live_->setTitle(title);
    return true;
}

// Reading (the card's and the analysis') begins at `frame` of the entry's sound: its start,
// --start or a seek. The picture's clock starts there.
void Player::readFrom(std::int64_t frame) {
    if (samples_) {
        if (audio_) {
            audio_->clear();
            cardReader_ = std::make_unique<SampleBuffer::Reader>(*samples_, frame);
        }
        calls_.analyse(*samples_, options_.rate, frame);
    }
    restartClock(static_cast<double>(frame) / kSampleRate);
}

// The picture's clock (and the module's banner timer) start again at `time`, where the calls
// now begin.
void Player::restartClock(double time) {
    readFrom_ = cardFrame_ = heardFrame_ = std::llround(time * kSampleRate);
    queuedTotal_ = 0;
    wallBase_ = segmentStart_ = lastTime_ = time;
    wallStart_ = SteadyClock::now();
    runner_->seek(time);
}

void Player::seekBy(double seconds) {
    const double target = std::max(0.0, lastTime_ + seconds);
    if (lengthSeconds_ >= 0 && target >= lengthSeconds_) {
        outcome_ = Outcome::Next;
        return;
    }
    played_ += lastTime_ - segmentStart_;
    if (!options_.framesFile.empty()) {
        calls_.record(std::make_unique<RecordedCalls>(options_.framesFile, target), target);
        restartClock(target);
        return;
    }
    const auto frame = static_cast<std::int64_t>(std::llround(target * kSampleRate));
    calls_.reset();
    cardReader_.reset();
    samples_->seek(frame);
    readFrom(frame);
}

void Player::feedSound() {
    if (!audio_ || !cardReader_) return;
    const auto ahead = static_cast<std::int64_t>(kQueueAhead * kSampleRate);
    std::vector<float> block(2 * kBlockFrames);
    while (audio_->queuedFrames() < ahead) {
        // After the end, silence: the clock goes on until the last call has been heard.
        const std::size_t got = cardReader_->read(cardFrame_, block.data(), kBlockFrames);
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(2 * got), block.end(), 0.0f);
        cardFrame_ += static_cast<std::int64_t>(got);
        audio_->queue(block.data(), kBlockFrames);
        queuedTotal_ += static_cast<std::int64_t>(kBlockFrames);
    }
}

// The entry time heard when the next picture is presented: the frames queued less those still
// queued and those in the card's buffers, plus what is left of the refresh period. Without sound,
// the time that has passed since reading began.
double Player::heardSeconds() const {
    if (audio_ && samples_) {
        // At the moment the picture will reach the screen, not now.
        const auto ahead = static_cast<std::int64_t>(live_->untilNextPresent() * kSampleRate);
        const std::int64_t heard =
            readFrom_ + queuedTotal_ - audio_->queuedFrames() - audio_->latencyFrames() + ahead;
        heardFrame_ = std::max(heardFrame_, heard); // never back, never before readFrom_
        return static_cast<double>(heardFrame_) / kSampleRate;
    }
    if (paused_) return wallBase_;
    return wallBase_ + std::chrono::duration<double>(SteadyClock::now() - wallStart_).count();
}

std::optional<double> Player::nextPicture() {
    if (lastPicture_) return std::nullopt;
    for (;;) {
        takeEvents();
        if (outcome_ != Outcome::Playing) return std::nullopt;
        feedSound();
        const double time = heardSeconds();
        if (options_.duration && played_ + (time - segmentStart_) >= *options_.duration) {
            lastPicture_ = true; // exactly at the end of the playback asked for
            lastTime_ = segmentStart_ + (*options_.duration - played_);
            return lastTime_;
        }
        if (!paused_) {
            lastTime_ = time;
            return time;
        }
        // Paused, the picture changes only with the window (a key, a resize, an expose): it is
        // shown again then, and otherwise the window sleeps.
        if (live_->current())
            live_->waitForEvents(kPausedLookSeconds);
        else
            show(runner_->picture());
    }
}

void Player::show(const Bitmap& picture) {
    live_->show(picture, lastTime_);
}

void Player::takeEvents() {
    std::vector<std::string> dropped;
    bool quit = false;
    for (const KeyAction action : live_->takeEvents(dropped, quit))
        onKey(action);
    if (!dropped.empty()) appendDropped(dropped);
    if (quit) outcome_ = Outcome::Quit;
}

void Player::onKey(KeyAction action) {
    switch (action) {
    case KeyAction::Pause:
        setPaused(!paused_);
        break;
    case KeyAction::SeekBack:
    case KeyAction::SeekForward:
        try {
            seekBy(action == KeyAction::SeekBack ? -kSeekStep : kSeekStep);
        } catch (const std::runtime_error& error) { // the sound cannot be read there
            say(error.what());
            outcome_ = Outcome::Next;
        }
        break;
    case KeyAction::NextEntry:
        outcome_ = Outcome::Next;
        break;
    case KeyAction::PreviousEntry:
        outcome_ = Outcome::Previous;
        break;
    default:
        break;
    }
}

void Player::setPaused(bool paused) {
    if (paused == paused_) return;
    if (paused) wallBase_ = heardSeconds();
    paused_ = paused;
    wallStart_ = SteadyClock::now();
    if (audio_) audio_->pause(paused);
}

void Player::appendDropped(const std::vector<std::string>& dropped) {
    std::vector<std::string> problems;
    const std::size_t first = playlist_->append(dropped, false, problems);
    for (const std::string& problem : problems)
        say(problem);
    if (first < playlist_->entries().size()) {
        jumpTo_ = first;
        outcome_ = Outcome::Jump;
    }
}

} // namespace

int runPlay(PlayOptions options) {
    if (!options.framesFile.empty() && !options.inputs.empty())
        throw std::invalid_argument("--frames plays the frames file alone: give no INPUT with it");
    checkLiveOptions(options);
    Player player(options);
    return player.run();
}

} // namespace lumacore::cli
