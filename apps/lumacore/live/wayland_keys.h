// Keys as xkbcommon names them, in the key codes the live window's key table (actionForKey)
// is written in.
#pragma once

#include <SDL.h>
#include <xkbcommon/xkbcommon.h>

namespace lumacore::cli {

// The key code of a key whose unshifted symbol is `symbol`: a printable symbol is its own
// lower-case character, as the key table's letters and signs are; the few named keys the table
// uses are translated; any other key is SDLK_UNKNOWN.
SDL_Keycode keycodeForSymbol(xkb_keysym_t symbol);

} // namespace lumacore::cli
