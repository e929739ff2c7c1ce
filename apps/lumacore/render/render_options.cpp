// The defaults and the range checks of the render options.
#include "render/render_options.h"

#include <cmath>

#include "audio/limits.h"

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
    const int most = kMaxPictureSide;
    if (std::string problem = checkSize(o.width, o.height); !problem.empty()) return problem;
    if (o.scale < 1 || o.scale > 16) return "--scale must be 1 to 16";
    if (static_cast<long long>(o.width) * o.scale > most ||
        static_cast<long long>(o.height) * o.scale > most)
        return "the scaled picture would be larger than " + std::to_string(most) +
               " pixels on a side";
    if (!std::isfinite(o.fps) || o.fps < kMinRate || o.fps > kMaxFrameRate)
        return "--fps must be 0.01 to 240";
    if (o.transparent && !o.background.empty())
        return "--transparent and --background each say what lies behind the display: give one "
               "of them";
    std::string problem = checkDisplayOptions(o);
    if (problem.empty()) problem = checkSeconds("--at", o.at, false);
    return problem;
}

} // namespace lumacore::cli
