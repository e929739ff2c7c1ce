// The X11 display through SDL: its monitors, windows on it and the wallpaper.
#pragma once

#include <memory>
#include <string>

#include "live/live_screen.h"

namespace lumacore::cli {

// Connects to the X server DISPLAY names (or, where the user set SDL_VIDEODRIVER, to what SDL
// drives there). Throws PlayError starting "no display:" when it cannot.
std::unique_ptr<DisplayConnection> connectSdl();

// The video driver SDL is using, for messages: "the 'x11' video driver".
std::string currentSdlDriver();

} // namespace lumacore::cli
