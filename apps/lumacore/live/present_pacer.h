// Presents held to the display's refresh rate, for a screen that nothing else paces (SDL's window
// image goes up the moment it is handed over, without waiting for the display).
#pragma once

#include <SDL.h>

namespace lumacore::cli {

class PresentPacer {
  public:
    // Seconds until a refresh period of `period` seconds has passed since the last present; 0
    // before the first.
    double untilNext(double period) const;
    // Waits, when `hold`, until then, and takes the present as made now.
    void pace(double period, bool hold);

  private:
    Uint64 last_ = 0;
};

} // namespace lumacore::cli
