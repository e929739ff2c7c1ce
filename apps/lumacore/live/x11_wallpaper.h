// The wallpaper on X11: one borderless SDL window per monitor (or on the one monitor named),
// made part of the desktop's background (x11_desktop_window.h) and placed over the monitor. Each
// shows the same picture, drawn at the largest monitor's size and stretched on the others; the
// windows follow the monitors as they come, go and change size. It takes no input: keys come
// from the terminal.
#pragma once

#include <SDL.h>

#include <deque>
#include <string>
#include <vector>

#include "live/live_screen.h"
#include "live/present_pacer.h"
#include "live/sdl_events.h"
#include "live/sdl_handles.h"
#include "live/x11_monitors.h"

namespace lumacore::cli {

class X11Wallpaper : public LiveScreen {
  public:
    // `events` must outlive the wallpaper. Throws PlayError: an unknown monitor (naming the
    // monitors there), no monitor at all, a window SDL could not make.
    X11Wallpaper(SdlEvents& events, const WallpaperOptions& options);

    double refreshRate() const override;
    void show(const Bitmap& picture, bool scaled) override;
    double untilNextPresent() const override;
    void holdPresents(bool hold) override { hold_ = hold; }
    Bitmap readBack() override;
    void clientSize(int& width, int& height) const override;
    WindowRect windowedRect() const override { return {}; }
    bool fullscreen() const override { return false; }
    void setFullscreen(bool) override {}
    void setTitle(const std::string& title) override;
    std::optional<ScreenEvent> nextEvent() override;
    void waitForEvents(double seconds) override { events_.wait(seconds); }
    std::function<void()> waker() const override { return events_.waker(); }

  private:
    struct Monitor {
        std::string name;
        SDL_Rect bounds{};
    };
    struct Output {
        Monitor monitor;
        SdlWindow window;
    };

    std::vector<Monitor> monitorsShown() const;
    SdlWindow openOn(const Monitor& monitor) const;
    // Windows made, moved and closed for the monitors there now; true when the largest size
    // changed.
    bool followMonitors();

    SdlEvents& events_;
    X11Monitors monitors_;
    std::string wanted_; // one monitor's name; empty: all
    std::string title_ = "Lumacore";
    std::vector<Output> outputs_;
    int width_ = 0, height_ = 0; // the largest monitor's
    bool hold_ = true;
    PresentPacer pacer_;
    std::deque<ScreenEvent> queued_;
};

} // namespace lumacore::cli
