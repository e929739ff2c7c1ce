// A window's drawing surface held while a display runs: the DC from GetDC, drawn on through a
// GdiSurface. Releasing it puts the DC's own pen, brush and font back, deletes ours and hands
// the DC back to the window.
#pragma once

#include <windows.h>

#include "host/win32/gdi_surface.h"

namespace lumacore {

class WindowSurface {
  public:
    explicit WindowSurface(HWND window) : window_(window), surface_(GetDC(window)) {}
    ~WindowSurface() {
        HDC dc = surface_.dc();
        surface_.release();
        ReleaseDC(window_, dc);
    }
    WindowSurface(const WindowSurface&) = delete;
    WindowSurface& operator=(const WindowSurface&) = delete;

    GdiSurface& surface() { return surface_; }

  private:
    HWND window_;
    GdiSurface surface_;
};

} // namespace lumacore
