// The displays' settings as a Linux program keeps them: one read of the file for a whole load,
// every value checked and brought into range, and one locked replacement of the file for a whole
// save. The file has the plug-in's own sections and keys, read and written exactly as the
// plug-in does (read/writeHistorySettings, read/writeScopeSettings), plus a [Player] section.
#pragma once

#include <string>

#include "host/colour.h"
#include "host/window_placement.h"

namespace lumacore {

// The sections: the modules' descriptions, as the plug-in names them, and the player's own.
inline constexpr char kHistorySection[] = "Lumacor 3D";
inline constexpr char kOscilloscopeSection[] = "Oscilliscope";
inline constexpr char kVuMeterSection[] = "VU Meter";
inline constexpr char kPlayerSection[] = "Player";

// The ranges the configuration dialog's sliders allow.
inline constexpr float kBrightnessMin = 0.2f, kBrightnessMax = 2.0f;
inline constexpr float kSpeedMin = 0.0f, kSpeedMax = 200.0f;

// The brightness `steps` presses of + (or of -, negative) away from `current`: on tenths, within
// the range.
float steppedBrightness(float current, int steps);

// The scope window's outer size, as the plug-in creates it.
inline constexpr WindowSize kScopeWindowSize{288, 280};

// [Lumacor 3D]: Posx, Posy, Sizex, Sizey (the window's outer rectangle), 3D, Speed, Brightness.
struct HistorySettings {
    Rect window{};
    bool threeD = true;
    float speed = 100.0f;
    float brightness = 1.0f;
    friend bool operator==(const HistorySettings&, const HistorySettings&) = default;
};

// [Oscilliscope] and [VU Meter]: Screen_x, Screen_y (the window's outer top-left corner).
struct ScopeSettings {
    Point position{50, 50};
    friend bool operator==(const ScopeSettings&, const ScopeSettings&) = default;
};

// [Player] Module: the display shown, by the names `lumacore --module` takes.
enum class DisplayModule { History, Oscilloscope, VuMeter };

struct DisplaySettings {
    HistorySettings history;
    ScopeSettings oscilloscope;
    ScopeSettings vuMeter;
    DisplayModule module = DisplayModule::History;
    // [Player] FollowPlayer=1: `listen` records the media player shown in the banner unless told
    // otherwise (--follow-player made the default).
    bool followPlayer = false;
    friend bool operator==(const DisplaySettings&, const DisplaySettings&) = default;
};

// "history", "scope", "vu".
const char* moduleName(DisplayModule module);

// What windows are placed on: the bounds of all screens, the primary screen's size (a history
// window without a stored size gets 60 % by 50 % of it) and the largest window size allowed.
struct ScreenGeometry {
    Rect virtualScreen;
    WindowSize primary;
    WindowSize largest;
};

struct SettingsLoad {
    DisplaySettings settings;
    // Empty, or one line to show: the file could not be read (defaults were taken) or held a
    // value that was replaced by its default.
    std::string problem;
};

// Reads the file at `path` once. Missing keys keep their defaults; brightness and speed are
// clamped to their ranges; windows are placed as the plug-in places them (a size that is not
// positive takes the default, one beyond `largest` is cut, and a window off every screen is
// moved until it can be reached); a missing file gives the defaults without a problem.
SettingsLoad loadDisplaySettings(const std::string& path, const ScreenGeometry& screen);

// Writes the settings in one locked read-change-replace of the file, creating its folder (mode
// 0700) when missing; brightness and speed are clamped first (not a number: the default). With
// `loaded` (what the load gave), only the keys whose values differ from it are written, so that
// settings another program changed meanwhile are kept. Every other line of the file stays as it
// was. Returns an empty string, or one line naming the file and saying why nothing was written.
std::string saveDisplaySettings(const std::string& path, const DisplaySettings& settings,
                                const DisplaySettings* loaded = nullptr);

} // namespace lumacore
