// The one lock around the running display's drawing surface. A player is meant to call Render,
// Quit and the window's messages on one thread, but some call Render from another thread while
// the window's own thread draws the banner or closes the window: every use of the surface (a
// frame, the banner, the release of the surface) holds this lock, so that no two of them draw,
// swap pens or release at once. On one thread it is never contended.
#pragma once

#include <windows.h>

namespace lumacore {

// Holds the surface lock for its lifetime; the same thread may take it again while holding it.
// Never held while waiting for another thread (a sent message, a wait), so it cannot deadlock.
class SurfaceAccess {
  public:
    SurfaceAccess();
    ~SurfaceAccess();
    SurfaceAccess(const SurfaceAccess&) = delete;
    SurfaceAccess& operator=(const SurfaceAccess&) = delete;
};

} // namespace lumacore
