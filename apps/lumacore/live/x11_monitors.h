// The X server's monitors as XRandR lists them (RandR 1.5: each lit output, and any monitor
// `xrandr --setmonitor` made), asked afresh on a connection of their own: SDL 2 reads its list
// once and then follows only outputs plugged in and out, not an output turned off, moved or
// given another mode.
#pragma once

#include <SDL.h>

#include <memory>
#include <string>
#include <vector>

struct _XDisplay;

namespace lumacore::cli {

struct MonitorArea {
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
};

class X11Monitors {
  public:
    // Connects to DISPLAY. Throws PlayError when it cannot.
    X11Monitors();
    ~X11Monitors();
    X11Monitors(const X11Monitors&) = delete;
    X11Monitors& operator=(const X11Monitors&) = delete;

    // The monitors now, the primary first; without RandR 1.5 the screen as one.
    std::vector<MonitorArea> list() const;
    // Has SDL's connection (that of `window`) told of every change to the monitors, as SDL's
    // window-system events, which this turns on.
    void watch(SDL_Window* window);
    // Whether SDL's event tells of such a change.
    bool changedBy(const SDL_Event& event) const;

  private:
    std::unique_ptr<_XDisplay, int (*)(_XDisplay*)> display_;
    int eventBase_ = -1;    // XRandR's first event; -1 without XRandR
    bool monitors_ = false; // RandR 1.5's monitors are there
};

} // namespace lumacore::cli
