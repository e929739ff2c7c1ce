// What the dock's settings and size mean for the module runner: the module and its client size,
// and where its picture goes in the widget. The history fills the widget; the scopes keep their
// fixed picture, enlarged by the largest whole factor that fits and centred on black.
#pragma once

#include "pipeline/module_runner.h"

namespace lumacore::audacious {

// The settings as Audacious keeps them under "lumacore" (the names in audacious_plugin.cpp).
struct DockSettings {
    int display = 0;      // 0 the history, 1 the oscilloscope, 2 the VU meter
    bool threeD = true;   // the history's 3D boxes, else its 2D bands
    int brightness = 100; // per cent
};

inline constexpr int kMinBrightness = 20; // per cent, the range the history accepts
inline constexpr int kMaxBrightness = 200;
// The largest side the history is drawn at; a larger dock shows it at this size, top left.
inline constexpr int kMaxSide = 8192;

struct DockLayout {
    cli::Display display;
    int scale = 1; // the scopes' picture enlarged this many times; the history's never
    int x = 0;     // the enlarged picture's top left corner in the widget
    int y = 0;
};

// The layout for a widget of `width` x `height` (anything Qt reports, even 0 x 0), every setting
// brought into its range.
DockLayout layoutFor(const DockSettings& settings, int width, int height);

} // namespace lumacore::audacious
