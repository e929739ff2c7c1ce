// The defaults and the range checks of the render options.
#include "render/render_options.h"

#include <cmath>

#include "pipeline/limits.h"

namespace lumacore::cli {
namespace {

// Empty when `value` is a time from 0 (or above 0 when `positive`) to kMaxStreamSeconds.
std::string checkSeconds(const char* name, double value, bool positive) {
    if (std::isfinite(value) && (positive ? value > 0 : value >= 0) && value <= kMaxStreamSeconds)
        return "";
    return std::string(name) + (positive ? " must be above 0" : " must not be negative") +
           " and at most " + std::to_string(static_cast<long long>(kMaxStreamSeconds)) + " seconds";
}

} // namespace

void applyDefaults(RenderOptions& options) {
    if (!options.sizeGiven) {
        const bool history = options.module == ModuleKind::History;
        options.width = history ? 1280 : 289;
        options.height = history ? 720 : 257;
    }
    if (options.rate == 0) options.rate = options.fps;
}

std::string checkCallRate(double rate) {
    if (std::isfinite(rate) && rate >= kMinRate && rate <= kMaxCallRate) return "";
    return "--rate must be 0.01 to 1000";
}

std::string checkSize(int width, int height) {
    const int most = kMaxPictureSide;
    if (width > 0 && height > 0 && width <= most && height <= most) return "";
    return "size " + std::to_string(width) + "x" + std::to_string(height) +
           " is out of range: each side must be 1 to " + std::to_string(most);
}

std::string checkDisplayOptions(const DisplayOptions& o) {
    if (std::string problem = checkCallRate(o.rate); !problem.empty()) return problem;
    if (!std::isfinite(o.brightness) || o.brightness < 0.2f || o.brightness > 2.0f)
        return "--brightness must be 0.2 to 2.0";
    std::string problem = checkSeconds("--start", o.start, false);
    if (problem.empty() && o.duration) problem = checkSeconds("--duration", *o.duration, true);
    return problem;
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
    std::string problem = checkDisplayOptions(o);
    if (problem.empty()) problem = checkSeconds("--at", o.at, false);
    return problem;
}

} // namespace lumacore::cli
