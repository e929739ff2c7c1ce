// A window on X11 through SDL. The pictures are drawn in software, so they go up in software
// too: blitted into the window's own image, which SDL hands to the X server in shared memory
// (MIT-SHM), without loading an OpenGL driver (a third of the program's memory, for a copy).
// Presents are held to the display's refresh rate. The spectrum history fills the window; the
// scopes' fixed picture is enlarged by the largest whole factor that fits and centred on black.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "live/live_screen.h"
#include "live/present_pacer.h"
#include "live/sdl_events.h"
#include "live/sdl_handles.h"

namespace lumacore::cli {

class VideoWindow : public LiveScreen {
  public:
    // Opens a window on SDL's open display: its client area `client.width` x `client.height`,
    // its frame's corner at `client.x`, `client.y` unless `positioned` is false. `events` must
    // outlive the window. Throws PlayError.
    VideoWindow(SdlEvents& events, const std::string& title, const WindowRect& client,
                bool positioned, bool fullscreen);

    double refreshRate() const override;
    void show(const Bitmap& picture, bool scaled) override;
    double untilNextPresent() const override;
    void holdPresents(bool hold) override { hold_ = hold; }
    Bitmap readBack() override;
    void clientSize(int& width, int& height) const override;
    WindowRect windowedRect() const override;
    bool fullscreen() const override { return fullscreen_; }
    void setFullscreen(bool on) override;
    void setTitle(const std::string& title) override;
    std::optional<ScreenEvent> nextEvent() override { return events_.next(); }
    void waitForEvents(double seconds) override { events_.wait(seconds); }
    std::function<void()> waker() const override { return events_.waker(); }

  private:
    SdlEvents& events_;
    SdlWindow window_;
    bool hold_ = true;
    PresentPacer pacer_;
    bool fullscreen_ = false;
    WindowRect windowed_;
};

} // namespace lumacore::cli
