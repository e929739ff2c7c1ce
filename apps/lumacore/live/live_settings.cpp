// The settings file and the command line, merged at the start and parted again at the end.
#include "live/live_settings.h"

#include <algorithm>

namespace lumacore::cli {

ModuleKind moduleKindOf(DisplayModule module) {
    switch (module) {
    case DisplayModule::Oscilloscope:
        return ModuleKind::Scope;
    case DisplayModule::VuMeter:
        return ModuleKind::VuMeter;
    case DisplayModule::History:
        break;
    }
    return ModuleKind::History;
}

DisplayModule displayModuleOf(ModuleKind module) {
    switch (module) {
    case ModuleKind::Scope:
        return DisplayModule::Oscilloscope;
    case ModuleKind::VuMeter:
        return DisplayModule::VuMeter;
    case ModuleKind::History:
        break;
    }
    return DisplayModule::History;
}

ScreenGeometry screenGeometryOf(const std::vector<Rect>& displays) {
    if (displays.empty()) return {{0, 0, 0, 0}, {0, 0}, {0, 0}};
    Rect all = displays.front();
    for (const Rect& screen : displays) {
        all.left = std::min(all.left, screen.left);
        all.top = std::min(all.top, screen.top);
        all.right = std::max(all.right, screen.right);
        all.bottom = std::max(all.bottom, screen.bottom);
    }
    const Rect& first = displays.front();
    return {all,
            {first.right - first.left, first.bottom - first.top},
            {all.right - all.left, all.bottom - all.top}};
}

StartDisplay startDisplay(const LiveOptions& options, const DisplaySettings& loaded, bool stored) {
    StartDisplay start;
    Display& display = start.display;
    display.module = options.moduleGiven ? options.module : moduleKindOf(loaded.module);
    display.threeD = options.modeGiven ? options.threeD : loaded.history.threeD;
    display.brightness = options.brightnessGiven ? options.brightness : loaded.history.brightness;
    const Rect& place = loaded.history.window;
    start.window = {place.left, place.top, place.right - place.left, place.bottom - place.top};
    if (options.sizeGiven) {
        start.window.width = options.width;
        start.window.height = options.height;
    }
    start.positioned = stored;
    display.width = start.window.width;
    display.height = start.window.height;
    return start;
}

DisplaySettings settingsToSave(const DisplaySettings& loaded, const WindowChanges& changes,
                               ModuleKind shownAtEnd) {
    DisplaySettings out = loaded;
    if (changes.module) out.module = displayModuleOf(*changes.module);
    if (changes.threeD) out.history.threeD = *changes.threeD;
    if (changes.brightness) out.history.brightness = *changes.brightness;
    if (changes.window) {
        const WindowRect& w = *changes.window;
        out.history.window = {w.x, w.y, w.x + w.width, w.y + w.height};
        if (shownAtEnd == ModuleKind::Scope) out.oscilloscope.position = {w.x, w.y};
        if (shownAtEnd == ModuleKind::VuMeter) out.vuMeter.position = {w.x, w.y};
    }
    return out;
}

} // namespace lumacore::cli
