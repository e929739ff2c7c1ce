// A live window on Wayland: an xdg_toplevel whose size the compositor's configure events give
// (the size asked is a wish), with server-side decorations where the compositor offers them,
// and its keys from the seat's keyboard.
#pragma once

#include <deque>
#include <memory>

#include "live/live_screen.h"
#include "live/wayland_client.h"
#include "live/wayland_surface.h"

namespace lumacore::cli {

class WaylandWindow final : public LiveScreen, private WaylandScreenHooks {
  public:
    // Throws PlayError when the compositor has no xdg_wm_base or does not configure the window.
    WaylandWindow(std::shared_ptr<WaylandClient> client, const std::string& title,
                  const WindowRect& client_area, bool fullscreen);
    ~WaylandWindow() override;

    double refreshRate() const override { return surface_->refreshRate(); }
    void show(const Bitmap& picture, bool scaled) override;
    double untilNextPresent() const override;
    // Held, a present waits for the compositor's frame callback (at most a refresh period), so
    // that a caller drawing as fast as presents go draws at the compositor's pace.
    void holdPresents(bool hold) override { hold_ = hold; }
    Bitmap readBack() override { return surface_->readBack(); }
    void clientSize(int& width, int& height) const override;
    WindowRect windowedRect() const override { return windowed_; }
    bool fullscreen() const override { return fullscreen_; }
    void setFullscreen(bool on) override;
    void setTitle(const std::string& title) override;
    std::optional<ScreenEvent> nextEvent() override { return client_->nextEvent(events_); }
    void waitForEvents(double seconds) override;
    std::function<void()> waker() const override { return client_->waker(); }

  private:
    static const xdg_surface_listener kSurfaceListener;
    static const xdg_toplevel_listener kToplevelListener;
    void configured(std::uint32_t serial);
    void key(wl_surface* focus, const ScreenEvent& event) override;
    void outputChanged(WaylandOutput&) override { surface_->updateScale(); }
    void connectionLost() override;

    std::shared_ptr<WaylandClient> client_;
    std::unique_ptr<PacedSurface> surface_;
    WaylandPtr<xdg_surface> xdgSurface_;
    WaylandPtr<xdg_toplevel> toplevel_;
    WaylandPtr<zxdg_toplevel_decoration_v1> decoration_;
    std::deque<ScreenEvent> events_;
    bool hold_ = true;
    int width_, height_;                       // the client area, logical
    WindowRect windowed_;                      // its size outside full screen
    bool fullscreen_ = false;                  // asked for, then as the compositor says
    int offeredWidth_ = 0, offeredHeight_ = 0; // from the toplevel's configure, 0: ours
    bool offeredFullscreen_ = false;
    bool configured_ = false;
};

} // namespace lumacore::cli
