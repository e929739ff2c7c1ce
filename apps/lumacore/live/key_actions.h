// What each key does in the window: the display window's own keys (Tab or Escape toggle full
// screen, Enter leaves it) and the player's (pause, seek, next and previous, module, mode,
// brightness, the help, quit), and the help text that lists them.
#pragma once

#include <SDL.h>

#include <string_view>

namespace lumacore::cli {

enum class KeyAction {
    None,
    ToggleFullscreen,
    LeaveFullscreen,
    Quit,
    Pause,
    SeekBack,
    SeekForward,
    NextEntry,
    PreviousEntry,
    NextModule,
    ToggleMode,
    Brighter,
    Darker,
    Help,
};

KeyAction actionForKey(SDL_Keycode key);

// The keys, one per line, as the help over the picture shows them.
std::string_view keyHelp();

} // namespace lumacore::cli
