// Lumacore's own Wayland client: windows and the wallpaper drawn in shared memory.
#pragma once

#include <memory>

#include "live/live_screen.h"

namespace lumacore::cli {

// Connects to the Wayland compositor WAYLAND_DISPLAY names. Throws PlayError starting "no
// display:" when it cannot.
std::unique_ptr<DisplayConnection> connectWayland();

} // namespace lumacore::cli
