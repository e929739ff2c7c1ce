// Files dropped on the window: SDL hands them one event each between a drop's begin and its
// completion, and every text it hands over, a file's name or a dropped text, is the receiver's
// to free.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

namespace lumacore::cli {

class DroppedFiles {
  public:
    // Takes a drop event (SDL_DROPBEGIN, SDL_DROPFILE, SDL_DROPTEXT, SDL_DROPCOMPLETE), freeing
    // what it carries; false for any other event. At a completion, the drop's files join
    // `dropped` in their order. Dropped text is no file: it is let go.
    bool take(const SDL_Event& event, std::vector<std::string>& dropped);

  private:
    std::vector<std::string> dropping_; // files of a drop not yet complete
};

} // namespace lumacore::cli
