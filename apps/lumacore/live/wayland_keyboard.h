// The seat's keyboard: its keymap through xkbcommon, each pressed key as the window's key action,
// and the compositor's key repeat made here (Wayland sends a held key once, with the rate and
// delay its repeats should follow).
#pragma once

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <functional>
#include <optional>

#include "live/live_screen.h"
#include "live/wayland_handles.h"

namespace lumacore::cli {

class WaylandKeyboard {
  public:
    using Clock = std::chrono::steady_clock;
    // `deliver` gets each key for the surface that has the keyboard's focus.
    using Delivery = std::function<void(wl_surface* focus, const ScreenEvent& key)>;

    WaylandKeyboard(wl_keyboard* keyboard, Delivery deliver);

    // The time until the held key repeats; nullopt when none is held.
    std::optional<Clock::duration> untilRepeat(Clock::time_point now) const;
    // Delivers the held key's repeats due by `now`.
    void repeatDue(Clock::time_point now);

  private:
    static const wl_keyboard_listener kListener;
    void keymap(std::uint32_t format, int fd, std::uint32_t size);
    void key(std::uint32_t key, std::uint32_t state);
    void deliver(xkb_keycode_t code, bool repeat);

    WaylandPtr<wl_keyboard> keyboard_;
    Delivery deliver_;
    WaylandPtr<xkb_context> context_;
    WaylandPtr<xkb_keymap> keymap_;
    WaylandPtr<xkb_state> state_;
    wl_surface* focus_ = nullptr;
    // Repeats: per second (0: none) and the wait before the first.
    int rate_ = 25;
    Clock::duration delay_ = std::chrono::milliseconds(600);
    std::optional<xkb_keycode_t> held_;
    Clock::time_point nextRepeat_;
};

} // namespace lumacore::cli
