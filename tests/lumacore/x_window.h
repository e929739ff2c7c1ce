// A program's window on the X display, seen and driven from outside as a user would, through
// xdotool: found by the program's process id, its rectangle on the screen, keys typed into it.
#pragma once

#include <sys/types.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "play_support.h"

namespace lumacore::cli::test {

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ScreenRect&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ScreenRect& rect);

// The visible window of process `pid`, waiting up to `seconds` for it to appear.
std::optional<std::string> findWindow(pid_t pid, double seconds);

// The rectangles of process `pid`'s visible windows (one per monitor for a wallpaper), from the
// left; empty when it has none.
std::vector<ScreenRect> windowRectsOf(pid_t pid);

// The window's rectangle on the screen; nullopt when it is gone.
std::optional<ScreenRect> windowRect(const std::string& window);

// The whole screen.
// The window's title, as the window manager shows it.
std::optional<std::string> windowName(const std::string& window);

std::optional<ScreenRect> screenRect();

// Gives the window the keyboard focus and types `key` (an X key name: "Tab", "Return", "q").
bool typeKey(const std::string& window, const std::string& key);

// Waits up to `seconds` until the window's rectangle is `wanted`; the last one seen otherwise.
std::optional<ScreenRect> waitForRect(const std::string& window, const ScreenRect& wanted,
                                      double seconds);

// The window manager's answers, as a desktop's taskbar and pager read them: the value of the
// window's property `name` as xprop prints it ("_NET_WM_WINDOW_TYPE_DESKTOP"); nullopt when the
// window has none.
std::optional<std::string> windowProperty(const std::string& window, const std::string& name);

// The managed windows from the bottom up (_NET_CLIENT_LIST_STACKING), as xdotool names them.
std::vector<std::string> stackingOrder();

// How many rectangles take the pointer's input in the window (its input shape): 0 when clicks
// go through it; nullopt when it cannot be asked.
std::optional<int> inputRectangles(const std::string& window);

// What window `window` shows on the screen now (Xlib's XGetImage of the window), as 8-bit RGB;
// nullopt when it is not there or not mapped.
std::optional<Picture> windowPicture(const std::string& window);

} // namespace lumacore::cli::test
