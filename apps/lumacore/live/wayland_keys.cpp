// The translation of xkbcommon's key symbols.
#include "live/wayland_keys.h"

#include <array>
#include <utility>

namespace lumacore::cli {
namespace {

constexpr std::array<std::pair<xkb_keysym_t, SDL_Keycode>, 11> kNamedKeys = {{
    {XKB_KEY_Tab, SDLK_TAB},
    {XKB_KEY_Escape, SDLK_ESCAPE},
    {XKB_KEY_Return, SDLK_RETURN},
    {XKB_KEY_KP_Enter, SDLK_KP_ENTER},
    {XKB_KEY_Left, SDLK_LEFT},
    {XKB_KEY_Right, SDLK_RIGHT},
    {XKB_KEY_Page_Up, SDLK_PAGEUP},
    {XKB_KEY_Page_Down, SDLK_PAGEDOWN},
    {XKB_KEY_KP_Add, SDLK_KP_PLUS},
    {XKB_KEY_KP_Subtract, SDLK_KP_MINUS},
    {XKB_KEY_F1, SDLK_F1},
}};

} // namespace

SDL_Keycode keycodeForSymbol(xkb_keysym_t symbol) {
    for (const auto& [named, keycode] : kNamedKeys)
        if (named == symbol) return keycode;
    // Latin-1's printable range: the key symbol is the character itself.
    const xkb_keysym_t lower = xkb_keysym_to_lower(symbol);
    if (lower >= 0x20 && lower <= 0x7E) return static_cast<SDL_Keycode>(lower);
    return SDLK_UNKNOWN;
}

} // namespace lumacore::cli
