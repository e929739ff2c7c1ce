// The key table.
#include "live/key_actions.h"

namespace lumacore::cli {

KeyAction actionForKey(SDL_Keycode key) {
    switch (key) {
    case SDLK_TAB:
    case SDLK_ESCAPE:
        return KeyAction::ToggleFullscreen;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return KeyAction::LeaveFullscreen;
    case SDLK_q:
        return KeyAction::Quit;
    case SDLK_SPACE:
        return KeyAction::Pause;
    case SDLK_LEFT:
        return KeyAction::SeekBack;
    case SDLK_RIGHT:
        return KeyAction::SeekForward;
    case SDLK_n:
    case SDLK_PAGEDOWN:
        return KeyAction::NextEntry;
    case SDLK_p:
    case SDLK_PAGEUP:
        return KeyAction::PreviousEntry;
    case SDLK_m:
        return KeyAction::NextModule;
    case SDLK_d:
        return KeyAction::ToggleMode;
    case SDLK_PLUS:
    case SDLK_EQUALS: // + without Shift on most layouts
    case SDLK_KP_PLUS:
        return KeyAction::Brighter;
    case SDLK_MINUS:
    case SDLK_KP_MINUS:
        return KeyAction::Darker;
    case SDLK_F1:
    case SDLK_h:
        return KeyAction::Help;
    default:
        return KeyAction::None;
    }
}

std::string_view keyHelp() {
    return "Tab, Esc   full screen on/off\n"
           "Enter      leave full screen\n"
           "Space      pause\n"
           "Left/Right seek 5 s\n"
           "N, PgDn    next entry\n"
           "P, PgUp    previous entry\n"
           "M          history, scope, VU meter\n"
           "D          2D / 3D\n"
           "+ / -      brightness\n"
           "F1, H      these keys\n"
           "Q          quit";
}

} // namespace lumacore::cli
