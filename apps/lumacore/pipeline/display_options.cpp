// The range checks of the options every command that shows a module shares.
#include "pipeline/display_options.h"

#include <cmath>

#include "audio/limits.h"

namespace lumacore::cli {

std::string checkSeconds(const char* name, double value, bool positive) {
    if (std::isfinite(value) && (positive ? value > 0 : value >= 0) && value <= kMaxStreamSeconds)
        return "";
    return std::string(name) + (positive ? " must be above 0" : " must not be negative") +
           " and at most " + std::to_string(static_cast<long long>(kMaxStreamSeconds)) + " seconds";
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

} // namespace lumacore::cli
