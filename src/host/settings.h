// The settings file "plugin.ini" beside the library: its location, and the keys each display
// reads and writes in its own section. Values are decimal "%d" texts; every key is read with the
// field's current value as the fallback, so a missing key leaves the field as it was.
#pragma once

#include <string>

#include "history/history_state.h"
#include "host/settings_store.h"
#include "scope/scope_state.h"

namespace lumacore {

// The library's full file name cut after its last backslash, with "plugin.ini" appended;
// "plugin.ini" alone when the name holds no backslash.
std::string settingsPath(const std::string& moduleFileName);

// The stored form of speed and brightness: trunc(value x 100), formed in double. A product
// beyond the int range is stored as the 32-bit pattern the unsigned read gives back (up to
// 2^32 - 1, beyond which it saturates there); negative products saturate at the int range; NaN
// gives 0.
int hundredths(float value);

// Once per load: "Posx", "Posy", "Sizex", "Sizey", "3D", "Speed", "Brightness", in that order.
void readHistorySettings(HistoryState& state, SettingsStore& store, const char* section);
// The same keys in the same order, from the window's last outer rectangle.
void writeHistorySettings(const HistoryState& state, SettingsStore& store, const char* section);

// "Screen_x" then "Screen_y"; read at every scope Init, written at every scope Quit.
void readScopeSettings(ScopeState& state, SettingsStore& store, const char* section);
void writeScopeSettings(const ScopeState& state, SettingsStore& store, const char* section);

} // namespace lumacore
