// Which display server the live commands draw on.
#pragma once

#include <memory>

#include "live/live_options.h"
#include "live/live_screen.h"

namespace lumacore::cli {

// The connection `video` names; for Auto, the desktop's own: a window goes to X11 where DISPLAY
// is set (on a Wayland desktop that is its X server too) and to Wayland otherwise, while the
// wallpaper goes to Wayland wherever WAYLAND_DISPLAY is set, since an X11 window can never be a
// Wayland desktop's background. Throws PlayError starting "no display:" when there is none.
std::unique_ptr<DisplayConnection> openDisplay(VideoChoice video, bool wallpaper);

} // namespace lumacore::cli
