// Where the live commands' pictures go: a window on the desktop or the desktop's background
// (`--wallpaper`), on X11 through SDL or on Wayland through Lumacore's own client. `LiveDisplay`
// speaks only to these two interfaces; `openDisplay` (display_choice.h) picks the one to use.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/colour.h"
#include "host/raster/bitmap.h"
#include "live/key_actions.h"

namespace lumacore::cli {

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// Something the screen went through that the display answers.
struct ScreenEvent {
    enum class Kind {
        Key,     // `action` (None for a key without one); `repeat` when the key is held down
        Resized, // the client size changed (a window resized, an output added or removed)
        Exposed, // the picture must be shown again
        Closed,  // the window was closed: the program ends as on Q
        Dropped, // `files` were dropped on the window, in their order
    };
    Kind kind = Kind::Exposed;
    KeyAction action = KeyAction::None;
    bool repeat = false;
    std::vector<std::string> files;
};

// A window, or the wallpaper on one or more outputs. Every call is made on the thread that
// opened it, but for the waker.
class LiveScreen {
  public:
    virtual ~LiveScreen() = default;

    // The display's refresh rate in frames per second; 60 when it does not say.
    virtual double refreshRate() const = 0;
    // Puts `picture` on screen: filling the client area (`scaled` false) or enlarged by the
    // largest whole factor that fits and centred on black (`scaled`). A wallpaper on several
    // outputs shows the same picture on each, stretched to an output of another size.
    virtual void show(const Bitmap& picture, bool scaled) = 0;
    // Seconds until the next picture can reach the screen.
    virtual double untilNextPresent() const = 0;
    // Whether a present that nothing else paces waits until a refresh period has passed since
    // the last (a caller that presents only when it has something new presents at once).
    virtual void holdPresents(bool hold) = 0;
    // The client area as it was last shown (a wallpaper's: its first output's).
    virtual Bitmap readBack() = 0;

    // The size pictures are drawn at: the window's client area, a wallpaper's largest output.
    virtual void clientSize(int& width, int& height) const = 0;
    // Where the window is outside full screen (the frame's corner and the client size), kept in
    // the settings; a wallpaper's is empty (width 0) and is not kept.
    virtual WindowRect windowedRect() const = 0;
    virtual bool fullscreen() const = 0;
    virtual void setFullscreen(bool on) = 0;
    virtual void setTitle(const std::string& title) = 0;

    // The next event without waiting; nullopt when there is none.
    virtual std::optional<ScreenEvent> nextEvent() = 0;
    // Sleeps until there is an event or `seconds` have passed; the waker's call ends it too.
    virtual void waitForEvents(double seconds) = 0;
    // Ends waitForEvents() from any thread. Safe to call while the screen lives.
    virtual std::function<void()> waker() const = 0;
};

// Which layer of the desktop a wallpaper lives in (Wayland's layer shell; X11 has one).
enum class WallpaperLayer { Background, Bottom };

struct WallpaperOptions {
    std::string monitor; // one output by name; empty: every output
    WallpaperLayer layer = WallpaperLayer::Background;
};

// The connection to the desktop's display server, for as long as it lives.
class DisplayConnection {
  public:
    virtual ~DisplayConnection() = default;
    // Whether a window is placed where it is asked to go and tells where it is (X11); on
    // Wayland the compositor places windows and never says where.
    virtual bool placesWindows() const = 0;
    // Every monitor's bounds, the primary (where a window without a place opens) first.
    virtual std::vector<Rect> displays() const = 0;
    // A window: its client area `client.width` x `client.height`, its frame's corner at
    // `client.x`, `client.y` unless `positioned` is false. Throws PlayError.
    virtual std::unique_ptr<LiveScreen> openWindow(const std::string& title,
                                                   const WindowRect& client, bool positioned,
                                                   bool fullscreen) = 0;
    // The wallpaper. Throws PlayError: a display server that cannot have one, an unknown
    // monitor (the names there are listed).
    virtual std::unique_ptr<LiveScreen> openWallpaper(const WallpaperOptions& options) = 0;
};

} // namespace lumacore::cli
