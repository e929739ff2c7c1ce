// The display server chosen from the environment or by name.
#include "live/display_choice.h"

#include <cstdlib>

#include "live/play_error.h"
#include "live/sdl_display.h"
#include "live/wayland_display.h"

namespace lumacore::cli {
namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

} // namespace

DisplayServer chosenDisplayServer(VideoChoice video, bool wallpaper, bool x11Set, bool waylandSet) {
    switch (video) {
    case VideoChoice::X11:
        return x11Set ? DisplayServer::X11 : DisplayServer::None;
    case VideoChoice::Wayland:
        return waylandSet ? DisplayServer::Wayland : DisplayServer::None;
    case VideoChoice::Auto:
        break;
    }
    if (waylandSet && (wallpaper || !x11Set)) return DisplayServer::Wayland;
    return x11Set ? DisplayServer::X11 : DisplayServer::None;
}

std::unique_ptr<DisplayConnection> openDisplay(VideoChoice video, bool wallpaper) {
    const bool x11 = isSet("DISPLAY"), wayland = isSet("WAYLAND_DISPLAY");
    switch (chosenDisplayServer(video, wallpaper, x11, wayland)) {
    case DisplayServer::X11:
        return connectSdl();
    case DisplayServer::Wayland:
        return connectWayland();
    case DisplayServer::None:
        break;
    }
    switch (video) {
    case VideoChoice::X11:
        throw PlayError("no display: DISPLAY is not set");
    case VideoChoice::Wayland:
        throw PlayError("no display: WAYLAND_DISPLAY is not set");
    case VideoChoice::Auto:
        break;
    }
    throw PlayError("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
}

} // namespace lumacore::cli
