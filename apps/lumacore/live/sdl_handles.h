// Owners of SDL's objects, and the error every SDL failure becomes.
#pragma once

#include <SDL.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "live/play_error.h"

namespace lumacore::cli {

// SDL's reason for its last failure as " (reason)"; nothing when it gave none. Clear SDL's error
// before the call that may fail, so that no older reason is taken for it.
inline std::string sdlReason() {
    const char* reason = SDL_GetError();
    return reason != nullptr && *reason != '\0' ? std::string(" (") + reason + ")" : "";
}

// One SDL subsystem, initialised for the owner's lifetime. Throws PlayError with `what` and
// SDL's reason when it cannot be started.
class SdlSubsystem {
  public:
    SdlSubsystem(Uint32 flags, const std::string& what) : flags_(flags) {
        SDL_ClearError();
        if (SDL_InitSubSystem(flags) != 0) throw PlayError(what + sdlReason());
    }
    ~SdlSubsystem() { SDL_QuitSubSystem(flags_); }
    SdlSubsystem(const SdlSubsystem&) = delete;
    SdlSubsystem& operator=(const SdlSubsystem&) = delete;

  private:
    Uint32 flags_;
};

struct SdlDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
    void operator()(char* text) const { SDL_free(text); }
};
using SdlWindow = std::unique_ptr<SDL_Window, SdlDeleter>;
using SdlText = std::unique_ptr<char, SdlDeleter>;

} // namespace lumacore::cli
