// The dock's widget: the module's picture drawn from the sound Audacious hands its visualisers,
// on the one live path every live end shares. Audacious calls visualisers, hooks and widgets on
// its main (Qt) thread only, so everything here runs there and nothing takes a lock.
#pragma once

#include <libaudcore/hook.h>

#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

#include "dock_layout.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "node_stream.h"
#include "pipeline/live_picture.h"

namespace lumacore::audacious {

// The name of the picture's X window.
inline constexpr const char* kPictureWindowName = "Lumacore picture";

class LumacoreWidget : public QWidget {
  public:
    LumacoreWidget();
    ~LumacoreWidget() override;

    // A node of 512 interleaved frames of `channels` channels, heard now.
    void hear(const float* pcm, int channels, int frames);
    // The sound before does not go on (Audacious's clear(): a seek, a stop, another track).
    void restart();
    // The settings window changed something under "lumacore".
    void applySettings();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void tick();
    void followPlayback(); // the timer runs while a track plays unpaused
    void onBegin();
    void onPause();
    void onUnpause();
    void onTitle();
    void onStop();
    // The live picture for sound at `rate`, made when there is none or the rate changed; false
    // (said once) when it cannot be made.
    bool pictureFor(int rate);
    std::string title() const;

    FreetypeTextRenderer text_;
    DockSettings settings_;
    DockLayout layout_;
    std::unique_ptr<cli::LivePicture> live_;
    std::optional<NodeStream> nodes_;
    int rate_ = 0;
    bool awaitingSound_ = true; // after a start, an unpause or a seek, until the first node
    bool refused_ = false;      // the rate was refused; said once until it changes
    QTimer timer_;
    HookReceiver<LumacoreWidget> begin_{"playback begin", this, &LumacoreWidget::onBegin};
    HookReceiver<LumacoreWidget> pause_{"playback pause", this, &LumacoreWidget::onPause};
    HookReceiver<LumacoreWidget> unpause_{"playback unpause", this, &LumacoreWidget::onUnpause};
    HookReceiver<LumacoreWidget> seek_{"playback seek", this, &LumacoreWidget::restart};
    HookReceiver<LumacoreWidget> ready_{"playback ready", this, &LumacoreWidget::onTitle};
    HookReceiver<LumacoreWidget> title_{"title change", this, &LumacoreWidget::onTitle};
    HookReceiver<LumacoreWidget> stop_{"playback stop", this, &LumacoreWidget::onStop};
};

} // namespace lumacore::audacious
