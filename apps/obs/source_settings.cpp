#include "source_settings.h"

#include <algorithm>
#include <cmath>

namespace lumacore::obs {
namespace {

int sideIn(int side) {
    return std::clamp(side, 1, kMaxSide);
}

// NaN becomes `otherwise`, the rest is clamped.
double within(double value, double low, double high, double otherwise) {
    if (std::isnan(value)) return otherwise;
    return std::clamp(value, low, high);
}

} // namespace

cli::ModuleKind moduleNamed(const std::string& name) {
    if (name == "oscilloscope") return cli::ModuleKind::Scope;
    if (name == "vu") return cli::ModuleKind::VuMeter;
    return cli::ModuleKind::History;
}

SourcePicture pictureFor(const SourceSettings& settings) {
    SourcePicture picture;
    cli::Display& display = picture.display;
    display.module = moduleNamed(settings.display);
    display.threeD = settings.threeD;
    display.brightness =
        static_cast<float>(within(settings.brightness, kMinBrightness, kMaxBrightness, 1.0));
    display.transparent = settings.transparent;
    const int width = sideIn(settings.width);
    const int height = sideIn(settings.height);
    if (display.module == cli::ModuleKind::History) {
        display.width = width;
        display.height = height;
    } else {
        display.width = kScopeWidth;
        display.height = kScopeHeight;
        picture.scale = cli::scopeScale(width, height);
    }
    picture.callsPerSecond = within(settings.callsPerSecond, kMinCallRate, kMaxCallRate, 60);
    return picture;
}

bool needsNewRunner(const SourcePicture& before, const SourcePicture& after) {
    const cli::Display& a = before.display;
    const cli::Display& b = after.display;
    return a.module != b.module || a.width != b.width || a.height != b.height ||
           a.transparent != b.transparent || before.callsPerSecond != after.callsPerSecond;
}

} // namespace lumacore::obs
