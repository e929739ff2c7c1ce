// The live wallpaper on Wayland: one layer-shell surface per output (or on the one output
// named) in the background or bottom layer, anchored to every edge at the size the compositor
// gives, taking no input. Outputs that come later get one; those that go lose theirs.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "live/live_screen.h"
#include "live/wayland_client.h"
#include "live/wayland_surface.h"

namespace lumacore::cli {

class WaylandWallpaper final : public LiveScreen, private WaylandScreenHooks {
  public:
    // Throws PlayError: no layer shell, or no output of the name asked for.
    WaylandWallpaper(std::shared_ptr<WaylandClient> client, const WallpaperOptions& options);
    ~WaylandWallpaper() override;

    double refreshRate() const override { return client_->refreshRate(); }
    void show(const Bitmap& picture, bool scaled) override;
    double untilNextPresent() const override;
    // Held, a present waits for the compositor's frame callback (at most a refresh period), so
    // that a caller drawing as fast as presents go draws at the compositor's pace.
    void holdPresents(bool hold) override { hold_ = hold; }
    Bitmap readBack() override;
    void clientSize(int& width, int& height) const override;
    WindowRect windowedRect() const override { return {}; }
    bool fullscreen() const override { return false; }
    void setFullscreen(bool) override {}
    void setTitle(const std::string&) override {}
    std::optional<ScreenEvent> nextEvent() override { return client_->nextEvent(events_); }
    void waitForEvents(double seconds) override;
    std::function<void()> waker() const override { return client_->waker(); }

  private:
    struct Layer {
        WaylandWallpaper* owner = nullptr;
        WaylandOutput* output = nullptr;
        std::unique_ptr<PacedSurface> surface;
        WaylandPtr<zwlr_layer_surface_v1> layer;
    };
    static const zwlr_layer_surface_v1_listener kLayerListener;

    bool wanted(const WaylandOutput& output) const;
    void add(WaylandOutput& output);
    void remove(const Layer* layer);
    void layerConfigured(Layer& layer, std::uint32_t serial, int width, int height);
    // The largest output's size as the client size; Resized when it changed.
    void updateSize();
    void outputAdded(WaylandOutput& output) override;
    void outputChanged(WaylandOutput& output) override;
    void outputRemoved(WaylandOutput& output) override;
    void connectionLost() override;

    std::shared_ptr<WaylandClient> client_;
    WallpaperOptions options_;
    std::vector<std::unique_ptr<Layer>> layers_;
    std::deque<ScreenEvent> events_;
    bool hold_ = true;
    int width_ = 0, height_ = 0;
};

} // namespace lumacore::cli
