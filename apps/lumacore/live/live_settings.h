// `lumacore play`'s settings: what the window starts with (the settings file, with the command
// line winning over it) and what is saved at the end (the file's values with only the changes
// made in the window, so that options given on the command line are never written back).
#pragma once

#include <optional>
#include <vector>

#include "host/display_settings.h"
#include "live/live_options.h"
#include "live/live_screen.h"

namespace lumacore::cli {

struct StartDisplay {
    Display display;         // module, mode, brightness; width and height: the client size
    WindowRect window;       // the client rectangle
    bool positioned = false; // whether the window goes to window.x, window.y
};

// The screens as the settings file's placement rules see them, from every display's bounds (the
// first the one a window without a place opens on): their bounds together, the first one's size
// (a window without a stored size gets 60 % by 50 % of it, not of all the screens together) and,
// as the largest window, their bounds' size.
ScreenGeometry screenGeometryOf(const std::vector<Rect>& displays);

// `loaded` is what the settings file gave; `stored` whether the file held the window's place.
StartDisplay startDisplay(const LiveOptions& options, const DisplaySettings& loaded, bool stored);

// What the user changed in the window; empty: not changed.
struct WindowChanges {
    std::optional<ModuleKind> module;
    std::optional<bool> threeD;
    std::optional<float> brightness;
    std::optional<WindowRect> window; // where the window was last outside full screen
};

// The settings to save: `loaded` with the changes. A window rectangle goes to the history's
// keys and, for a scope shown at the end, to that scope's position too.
DisplaySettings settingsToSave(const DisplaySettings& loaded, const WindowChanges& changes,
                               ModuleKind shownAtEnd);

ModuleKind moduleKindOf(DisplayModule module);
DisplayModule displayModuleOf(ModuleKind module);

} // namespace lumacore::cli
