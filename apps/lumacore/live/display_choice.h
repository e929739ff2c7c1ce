// Which display server the live commands draw on.
#pragma once

#include <memory>

#include "live/live_options.h"
#include "live/live_screen.h"

namespace lumacore::cli {

enum class DisplayServer { None, X11, Wayland };

// The display server `video` names, or for Auto the desktop's own from whether DISPLAY and
// WAYLAND_DISPLAY are set: a window goes to X11 where DISPLAY is set (on a Wayland desktop that is
// its X server too) and to Wayland otherwise, while the wallpaper goes to Wayland wherever
// WAYLAND_DISPLAY is set, since an X11 window can never be a Wayland desktop's background. None
// when the one needed is not set.
DisplayServer chosenDisplayServer(VideoChoice video, bool wallpaper, bool x11Set, bool waylandSet);

// The connection chosenDisplayServer() picks from the environment. Throws PlayError starting "no
// display:" when there is none.
std::unique_ptr<DisplayConnection> openDisplay(VideoChoice video, bool wallpaper);

} // namespace lumacore::cli
