// The display server chosen from the environment or by name.
#include "live/display_choice.h"

#include <cstdlib>

#include "live/play_error.h"
#include "live/sdl_display.h"

namespace lumacore::cli {
namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

std::unique_ptr<DisplayConnection> connectWaylandHere() {
    throw PlayError("no display: Wayland is not built in yet");
}

} // namespace

std::unique_ptr<DisplayConnection> openDisplay(VideoChoice video, bool wallpaper) {
    switch (video) {
    case VideoChoice::X11:
        return connectSdl();
    case VideoChoice::Wayland:
        if (!isSet("WAYLAND_DISPLAY")) throw PlayError("no display: WAYLAND_DISPLAY is not set");
        return connectWaylandHere();
    case VideoChoice::Auto:
        break;
    }
    const bool x11 = isSet("DISPLAY"), wayland = isSet("WAYLAND_DISPLAY");
    if (!x11 && !wayland) throw PlayError("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    if (wayland && (wallpaper || !x11)) return connectWaylandHere();
    return connectSdl();
}

} // namespace lumacore::cli
