// What makes an SDL window on X11 part of the desktop's background: the window manager is told
// (EWMH) that it is the desktop, kept below every other window on every workspace and out of
// the taskbar and pager; and its input shape is empty, so that clicks reach what is under it.
#pragma once

#include <SDL.h>

#include <string>

namespace lumacore::cli {

// Gives `window`, not yet shown, those properties. Throws PlayError when it is not a window
// on X11.
void makeDesktopWindow(SDL_Window* window);

} // namespace lumacore::cli
