#include "render/render_options.h"

#include <cmath>

namespace lumacore::cli {

void applyDefaults(RenderOptions& options) {
    if (!options.sizeGiven) {
        const bool history = options.module == ModuleKind::History;
        options.width = history ? 1280 : 289;
        options.height = history ? 720 : 257;
    }
    if (options.rate == 0) options.rate = options.fps;
}

std::string checkOptions(const RenderOptions& o) {
    constexpr int kMaxSize = 16384;
    auto finite = [](double v) { return std::isfinite(v); };
    if (o.width <= 0 || o.height <= 0 || o.width > kMaxSize || o.height > kMaxSize)
        return "size " + std::to_string(o.width) + "x" + std::to_string(o.height) +
               " is out of range: each side must be 1 to 16384";
    if (o.scale < 1 || o.scale > 16) return "--scale must be 1 to 16";
    if (static_cast<long long>(o.width) * o.scale > kMaxSize ||
        static_cast<long long>(o.height) * o.scale > kMaxSize)
        return "the scaled picture would be larger than 16384 pixels on a side";
    if (!finite(o.fps) || o.fps <= 0 || o.fps > 240) return "--fps must be above 0 and at most 240";
    if (!finite(o.rate) || o.rate <= 0 || o.rate > 1000)
        return "--rate must be above 0 and at most 1000";
    if (!finite(o.brightness) || o.brightness < 0.2f || o.brightness > 2.0f)
        return "--brightness must be 0.2 to 2.0";
    if (!finite(o.start) || o.start < 0) return "--start must not be negative";
    if (!finite(o.duration) || (o.duration < 0 && o.duration != -1) || o.duration == 0)
        return "--duration must be above 0";
    if (!finite(o.at) || o.at < 0) return "--at must not be negative";
    return "";
}

} // namespace lumacore::cli
