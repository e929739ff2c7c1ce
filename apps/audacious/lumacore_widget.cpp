#include "lumacore_widget.h"

#include <libaudcore/drct.h>
#include <libaudcore/runtime.h>
#include <libaudcore/tuple.h>

#include <QImage>
#include <QPainter>
#include <QWindow>
#include <chrono>
#include <exception>
#include <string>

#include "pipeline/banner_text.h"

namespace lumacore::audacious {
namespace {

constexpr double kCallsPerSecond = 60;
constexpr int kTimerMilliseconds = 16; // a picture each refresh of a 60 Hz screen

// Seconds on the clock the sound and the pictures share.
double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

DockSettings storedSettings() {
    return {aud_get_int("lumacore", "display"), aud_get_bool("lumacore", "three_d"),
            aud_get_int("lumacore", "brightness")};
}

} // namespace

LumacoreWidget::LumacoreWidget() {
    setAutoFillBackground(false);
    // Every pixel is painted, the black around the scopes too.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A window of its own on X, named, so that a screenshot tool (and the tests) can find the
    // picture without the rest of the player's window.
    setAttribute(Qt::WA_NativeWindow);
    setMinimumSize(64, 48);
    settings_ = storedSettings();
    layout_ = layoutFor(settings_, width(), height());
    timer_.setInterval(kTimerMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    followPlayback();
}

LumacoreWidget::~LumacoreWidget() = default;

void LumacoreWidget::hear(const float* pcm, int channels, int frames) {
    int bitrate = 0, rate = 0, outChannels = 0;
    aud_drct_get_info(bitrate, rate, outChannels);
    if (!pictureFor(rate)) return;
    const double moment = now();
    const std::int64_t count = nodes_->hear(pcm, channels, frames, moment);
    if (count == 0) return;
    live_->hear(nodes_->stereo().data(), count, moment, nodes_->restarted(), moment);
    awaitingSound_ = false;
    followPlayback();
}

bool LumacoreWidget::pictureFor(int rate) {
    if (live_ && rate == rate_) return true;
    if (rate == rate_ && refused_) return false;
    rate_ = rate;
    live_.reset();
    try {
        live_ = std::make_unique<cli::LivePicture>(layout_.display, kCallsPerSecond, title(), rate,
                                                   "Audacious's sound", text_, now());
        nodes_.emplace(rate);
        refused_ = false;
        AUDDBG("lumacore: sound at %d Hz\n", rate);
        return true;
    } catch (const std::exception& error) {
        refused_ = true;
        AUDERR("lumacore: %s; nothing is drawn\n", error.what());
        update();
        return false;
    }
}

void LumacoreWidget::restart() {
    if (nodes_) nodes_->restart();
    awaitingSound_ = true;
}

void LumacoreWidget::tick() {
    // Until the first node after a start, an unpause or a seek, the time since the last one was
    // not silence: the picture holds.
    if (!live_ || awaitingSound_) return;
    if (live_->advance(now()))
        update();
    else if (live_->atRest())
        timer_.stop(); // silence on a picture at rest: the next node starts it again
}

void LumacoreWidget::followPlayback() {
    const bool playing = aud_drct_get_playing() && !aud_drct_get_paused();
    if (playing && !timer_.isActive())
        timer_.start();
    else if (!playing && timer_.isActive())
        timer_.stop();
}

void LumacoreWidget::onBegin() {
    restart();
    onTitle();
    followPlayback();
}

void LumacoreWidget::onPause() {
    restart();
    followPlayback();
}

void LumacoreWidget::onUnpause() {
    followPlayback();
}

void LumacoreWidget::onStop() {
    restart();
    followPlayback();
}

void LumacoreWidget::onTitle() {
    if (live_) {
        live_->setTitle(title());
        update();
    }
}

std::string LumacoreWidget::title() const {
    if (!aud_drct_get_playing()) return {};
    const Tuple tuple = aud_drct_get_tuple();
    const auto text = [&](Tuple::Field field) {
        const String value = tuple.get_str(field);
        return value ? std::string(value) : std::string();
    };
    std::string shown = cli::bannerTitle(std::nullopt, text(Tuple::Basename), text(Tuple::Artist),
                                         text(Tuple::Title));
    if (shown.empty()) // nothing in the tuple yet: whatever Audacious shows
        if (const String formatted = aud_drct_get_title()) shown = formatted;
    return shown;
}

void LumacoreWidget::applySettings() {
    const DockSettings before = settings_;
    settings_ = storedSettings();
    const DockLayout next = layoutFor(settings_, width(), height());
    if (live_) {
        const cli::Display& now = live_->runner().display();
        if (next.display.module != now.module)
            live_->setModule(next.display.module, next.display.width, next.display.height);
        else if (next.display.width != now.width || next.display.height != now.height)
            live_->setClientSize(next.display.width, next.display.height);
        if (settings_.threeD != before.threeD) live_->setMode(next.display.threeD);
        live_->setBrightness(next.display.brightness);
    }
    layout_ = next;
    update();
}

void LumacoreWidget::resizeEvent(QResizeEvent*) {
    applySettings();
}

void LumacoreWidget::showEvent(QShowEvent*) {
    if (QWindow* window = windowHandle()) window->setTitle(kPictureWindowName);
}

void LumacoreWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!live_) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const Bitmap& picture = live_->picture();
    const QImage image(reinterpret_cast<const uchar*>(picture.row(0)), picture.width(),
                       picture.height(), picture.stride() * 4, QImage::Format_RGB32);
    const QRect target(layout_.x, layout_.y, picture.width() * layout_.scale,
                       picture.height() * layout_.scale);
    // The black around an enlarged scope, or beyond the history's largest side.
    const QRegion around = QRegion(rect()) - QRegion(target);
    for (const QRect& part : around)
        painter.fillRect(part, Qt::black);
    painter.drawImage(target, image); // nearest neighbour: no smooth transformation asked for
}

} // namespace lumacore::audacious
