// Dropped files, each name taken over from SDL and freed.
#include "live/dropped_files.h"

#include "live/sdl_handles.h"

namespace lumacore::cli {

bool DroppedFiles::take(const SDL_Event& event, std::vector<std::string>& dropped) {
    switch (event.type) {
    case SDL_DROPBEGIN:
    case SDL_DROPFILE:
    case SDL_DROPTEXT: {
        const SdlText text(event.drop.file); // null for a drop's begin
        if (event.type == SDL_DROPFILE && text) dropping_.emplace_back(text.get());
        return true;
    }
    case SDL_DROPCOMPLETE: // the files of one drop together, in their order
        dropped.insert(dropped.end(), dropping_.begin(), dropping_.end());
        dropping_.clear();
        return true;
    default:
        return false;
    }
}

} // namespace lumacore::cli
