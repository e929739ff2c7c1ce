// The window `lumacore play` shows its pictures in. With a graphics driver: an SDL renderer that
// presents with vsync and one streaming texture in the rasteriser's own pixel layout
// (0x00RRGGBB), so a picture goes up without any conversion. Without one (OpenGL rasterised on
// the processor, as under Xvfb): the picture blitted straight into the window's own image, and
// presents held to the refresh rate. The spectrum history fills the window; the scopes' fixed
// picture is enlarged by the largest whole factor that fits and centred on black.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/colour.h"
#include "host/raster/bitmap.h"
#include "live/sdl_handles.h"

namespace lumacore::cli {

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// Opens the display for as long as the result lives. Throws PlayError starting "no display" when
// there is none (neither DISPLAY nor WAYLAND_DISPLAY, or SDL cannot open it).
SdlSubsystem openDisplay();

class VideoWindow {
  public:
    // Opens a window on the open display: its client area `client.width` x `client.height`, its
    // frame's corner at `client.x`, `client.y` unless `positioned` is false. Throws PlayError.
    VideoWindow(const std::string& title, const WindowRect& client, bool positioned,
                bool fullscreen);

    // The display's refresh rate in frames per second; 60 when it does not say.
    double refreshRate() const;
    // Every display's bounds, SDL's first (the primary, where a window without a place opens)
    // first.
    static std::vector<Rect> displays();

    // Puts `picture` in the window: filling it (`scaled` false) or enlarged by the largest
    // whole factor that fits and centred on black (`scaled`), and presents it, waiting for the
    // display's next refresh.
    void show(const Bitmap& picture, bool scaled);
    // Presents the last picture again (after an expose, or while paused).
    void showAgain();
    // Whether a present without the display's vsync waits until a refresh period has passed since
    // the last (a caller that presents only when it has something new presents at once).
    void holdPresents(bool hold) { hold_ = hold; }
    // Seconds until the next picture reaches the screen: what is left of the refresh period
    // since the last present.
    double untilNextPresent() const;
    // The client area as it was last shown.
    Bitmap readBack();

    // The client area's size in pixels.
    void clientSize(int& width, int& height) const;
    // Where the window is (its frame's top left corner, where a window manager draws one) and
    // its client size, outside full screen: while full screen, the rectangle it will return to.
    WindowRect windowedRect() const;
    bool fullscreen() const { return fullscreen_; }
    void setFullscreen(bool on);
    void setTitle(const std::string& title);
    // The window's SDL id, which its events carry.
    Uint32 id() const { return SDL_GetWindowID(window_.get()); }

  private:
    SDL_Rect placement(int pictureWidth, int pictureHeight) const;
    void toTexture(const Bitmap& picture);
    void toSurface(const Bitmap& picture);
    void pace();

    SdlWindow window_;
    SdlRenderer renderer_;
    SdlTexture texture_;
    int textureWidth_ = 0, textureHeight_ = 0;
    bool scaled_ = false;
    bool vsync_ = false;
    bool hold_ = true;
    Uint64 lastPresent_ = 0;
    bool fullscreen_ = false;
    WindowRect windowed_;
};

} // namespace lumacore::cli
