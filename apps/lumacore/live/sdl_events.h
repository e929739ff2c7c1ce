// SDL's one event queue, shared by every window SDL opened in the process (one, or one per
// monitor for a wallpaper): its events as the screen's, a wait that a waker from another thread
// ends, and the files of a drop gathered until it completes.
#pragma once

#include <SDL.h>

#include <functional>
#include <optional>

#include "live/dropped_files.h"
#include "live/live_screen.h"

namespace lumacore::cli {

class SdlEvents {
  public:
    SdlEvents();

    // The next event a screen answers, without waiting (the mouse, released keys and the
    // waker's wake-up are passed over); nullopt when there is none. `raw`, when given, sees
    // every SDL event first.
    std::optional<ScreenEvent> next(const std::function<void(const SDL_Event&)>& raw = {});
    // Sleeps until SDL has an event or `seconds` have passed.
    void wait(double seconds);
    std::function<void()> waker() const;

  private:
    std::optional<ScreenEvent> convert(const SDL_Event& event);

    Uint32 wakeEvent_ = 0;
    std::optional<SDL_Event> held_; // taken by wait(), for next()
    DroppedFiles drops_;
};

} // namespace lumacore::cli
