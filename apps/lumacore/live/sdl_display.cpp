// SDL's video subsystem as the display connection.
#include "live/sdl_display.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "live/sdl_events.h"
#include "live/sdl_handles.h"
#include "live/video_window.h"
#include "live/x11_wallpaper.h"

namespace lumacore::cli {
namespace {

// "the 'x11' video driver", or for a list SDL tries in turn ("x11,wayland") "the 'x11' or
// 'wayland' video driver".
std::string driversNamed(const std::string& list) {
    std::string names;
    std::size_t count = 0;
    for (std::size_t at = 0; at <= list.size(); ++count) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        names += std::string(count == 0 ? "" : " or ") + "'" + list.substr(at, end - at) + "'";
        at = end + 1;
    }
    return "the " + names + " video driver";
}

SdlSubsystem openVideo() {
    // The X server and nothing else: where it cannot be reached, SDL would fall back to drawing
    // off screen and the program would run with no window to be seen. (A SDL_VIDEODRIVER the
    // user sets still wins.)
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') throw PlayError("no display: DISPLAY is not set");
    // The program's own handlers stop it cleanly on SIGINT and SIGTERM; SDL's would not see them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    // The desktop keeps its compositor (and other windows their refresh) while we play.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The window's own image stays in memory shared with the X server, never a texture on
    // OpenGL.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen != nullptr && *chosen != '\0')
        return SdlSubsystem(SDL_INIT_VIDEO, "no display: SDL could not connect with " +
                                                driversNamed(chosen) +
                                                ", which SDL_VIDEODRIVER names");
    return SdlSubsystem(SDL_INIT_VIDEO, std::string("no display: SDL could not connect to ") +
                                            "DISPLAY=" + display + " with " + driversNamed("x11"));
}

class SdlConnection : public DisplayConnection {
  public:
    SdlConnection() : video_(openVideo()) {}

    bool placesWindows() const override { return true; }

    std::vector<Rect> displays() const override {
        std::vector<Rect> screens;
        const int count = SDL_GetNumVideoDisplays();
        for (int i = 0; i < count; ++i) {
            SDL_Rect bounds;
            if (SDL_GetDisplayBounds(i, &bounds) == 0)
                screens.push_back({bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h});
        }
        return screens;
    }

    std::unique_ptr<LiveScreen> openWindow(const std::string& title, const WindowRect& client,
                                           bool positioned, bool fullscreen) override {
        return std::make_unique<VideoWindow>(events_, title, client, positioned, fullscreen);
    }

    std::unique_ptr<LiveScreen> openWallpaper(const WallpaperOptions& options) override {
        return std::make_unique<X11Wallpaper>(events_, options);
    }

  private:
    SdlSubsystem video_;
    SdlEvents events_;
};

} // namespace

std::unique_ptr<DisplayConnection> connectSdl() {
    return std::make_unique<SdlConnection>();
}

std::string currentSdlDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driversNamed(driver != nullptr ? driver : "unknown");
}

} // namespace lumacore::cli
