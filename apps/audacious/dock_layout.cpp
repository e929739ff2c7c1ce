#include "dock_layout.h"

#include <algorithm>

#include "pipeline/scope_fit.h"

namespace lumacore::audacious {

DockLayout layoutFor(const DockSettings& settings, int width, int height) {
    DockLayout layout;
    cli::Display& display = layout.display;
    display.module = settings.display == 1   ? cli::ModuleKind::Scope
                     : settings.display == 2 ? cli::ModuleKind::VuMeter
                                             : cli::ModuleKind::History;
    display.threeD = settings.threeD;
    display.brightness =
        static_cast<float>(std::clamp(settings.brightness, kMinBrightness, kMaxBrightness)) / 100;
    width = std::clamp(width, 1, kMaxSide);
    height = std::clamp(height, 1, kMaxSide);
    if (display.module == cli::ModuleKind::History) {
        display.width = width;
        display.height = height;
        return layout;
    }
    display.width = cli::kScopeWidth;
    display.height = cli::kScopeHeight;
    layout.scale = cli::scopeScale(width, height);
    layout.x = std::max(0, (width - cli::kScopeWidth * layout.scale) / 2);
    layout.y = std::max(0, (height - cli::kScopeHeight * layout.scale) / 2);
    return layout;
}

} // namespace lumacore::audacious
