#include "host/settings.h"

#include <cstdint>

#include "host/arith.h"

namespace lumacore {

namespace {

int readSigned(SettingsStore& store, const char* section, const char* key, int fallback) {
    return static_cast<int>(store.readInt(section, key, fallback));
}

// The unsigned value read, in hundredths, as single precision.
float readHundredths(SettingsStore& store, const char* section, const char* key, float current) {
    return static_cast<float>(store.readInt(section, key, hundredths(current)) * 0.01);
}

void write(SettingsStore& store, const char* section, const char* key, int value) {
    store.writeString(section, key, std::to_string(value)); // a failed write is ignored
}

// Width and height as the 32-bit difference, wrapping like the platform's arithmetic.
int extent(int from, int to) {
    return static_cast<int>(static_cast<std::uint32_t>(to) - static_cast<std::uint32_t>(from));
}

} // namespace

std::string settingsPath(const std::string& moduleFileName) {
    const std::size_t slash = moduleFileName.rfind('\\');
    if (slash == std::string::npos) return "plugin.ini";
    return moduleFileName.substr(0, slash + 1) + "plugin.ini";
}

int hundredths(float value) {
    const double product = static_cast<double>(value) * 100.0;
    if (!(product >= 0.0)) return truncToInt(product); // negative or NaN
    if (product >= 4294967295.0) return -1;            // 0xFFFFFFFF: the largest readable
    return static_cast<int>(static_cast<std::uint32_t>(product));
}

void readHistorySettings(HistoryState& state, SettingsStore& store, const char* section) {
    if (state.settingsLoaded) return;
    state.windowX = readSigned(store, section, "Posx", state.windowX);
    state.windowY = readSigned(store, section, "Posy", state.windowY);
    state.windowWidth = readSigned(store, section, "Sizex", state.windowWidth);
    state.windowHeight = readSigned(store, section, "Sizey", state.windowHeight);
    state.mode3D = store.readInt(section, "3D", state.mode3D) != 0 ? 1 : 0;
    state.speed = readHundredths(store, section, "Speed", state.speed);
    state.brightness = readHundredths(store, section, "Brightness", state.brightness);
    state.settingsLoaded = true;
}

void writeHistorySettings(const HistoryState& state, SettingsStore& store, const char* section) {
    const Rect& rect = state.windowRect;
    write(store, section, "Posx", rect.left);
    write(store, section, "Posy", rect.top);
    write(store, section, "Sizex", extent(rect.left, rect.right));
    write(store, section, "Sizey", extent(rect.top, rect.bottom));
    write(store, section, "3D", state.mode3D != 0 ? 1 : 0);
    write(store, section, "Speed", hundredths(state.speed));
    write(store, section, "Brightness", hundredths(state.brightness));
}

void readScopeSettings(ScopeState& state, SettingsStore& store, const char* section) {
    state.screenX = readSigned(store, section, "Screen_x", state.screenX);
    state.screenY = readSigned(store, section, "Screen_y", state.screenY);
}

void writeScopeSettings(const ScopeState& state, SettingsStore& store, const char* section) {
    write(store, section, "Screen_x", state.screenX);
    write(store, section, "Screen_y", state.screenY);
}

} // namespace lumacore
