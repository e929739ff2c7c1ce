// The spectrum-history display's one state record, with its load-time values and the small
// setters and getters through which the window and the configuration dialog change the mode,
// the speed and the brightness.
#pragma once

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "host/colour.h"
#include "host/surface.h"
#include "host/vis_module.h"

namespace lumacore {

class ConfigDialog;

// Layout fractions of the display, held as single-precision values: the banner strip's share of
// the client height and the share above the 3D baseline.
inline constexpr float kBannerFraction = 0.09f;
inline constexpr float kAboveBaselineFraction = 0.33f;

inline constexpr int kHistoryBins = 150;
inline constexpr int kPaletteSize = 256;

struct PaletteEntry {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct HistoryState {
    int windowX = 0;
    int windowY = 0;
    int windowWidth = 0; // outer size before creation, client size after
    int windowHeight = 0;
    Rect windowRect{};  // outer rectangle, screen coordinates; saved at Quit
    Rect restoreRect{}; // outer rectangle before full screen
    std::uint8_t mode3D = 1;
    int columnStep = 4;
    int savedColumnStep = columnStep;
    float speed = 100.0f;
    int speedMin = 0;
    int speedMax = 200;
    float brightness = 1.0f;
    float brightnessMin = 0.2f;
    float brightnessMax = 2.0f;
    float depthStep = 0.0f;
    float skewTangent = static_cast<float>(std::tan(0.785));
    float verticalScale = kAboveBaselineFraction + kBannerFraction;
    int frameCount = 0;
    std::array<int, kHistoryBins> binSums{};
    std::array<PaletteEntry, kPaletteSize> palette{};
    Colour backgroundColour = kBlack;
    bool fullScreen = false;
    bool settingsLoaded = false;
    bool mouseSeen = false;
    int lastMouseY = 0;
    // Atomic: the player may call Config, which reads it, on a thread of its own.
    std::atomic<WindowHandle> displayWindow = nullptr;
    WindowHandle configureButton = nullptr;
    WindowHandle fullScreenButton = nullptr;
    ConfigDialog* configDialog = nullptr;
    Surface* drawDC = nullptr; // the running module's window surface, shared by all modules
};

// The depth step of a client area of this height: (1 - 0.33) * height / 150.
float depthStepFor(int clientHeight);

// A new client size: the width and height all drawing uses, and the depth step that follows from
// the height.
void setClientSize(HistoryState& state, int width, int height);

// The record of this load of the library.
HistoryState& historyState();

// Stores the mode; entering 2D keeps the 3D column step for the way back.
void setMode(HistoryState& state, int flag);
int currentMode(const HistoryState& state);
// With -1 returns the speed truncated; otherwise clamps, stores and returns the value.
int speedValue(HistoryState& state, int value);
// With exactly -1.0 returns the brightness; otherwise stores and returns the value.
float brightnessValue(HistoryState& state, float value);

} // namespace lumacore
