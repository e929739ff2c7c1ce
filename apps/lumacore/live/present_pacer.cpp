#include "live/present_pacer.h"

#include <algorithm>

namespace lumacore::cli {
namespace {

double secondsSince(Uint64 then) {
    return static_cast<double>(SDL_GetPerformanceCounter() - then) /
           static_cast<double>(SDL_GetPerformanceFrequency());
}

} // namespace

double PresentPacer::untilNext(double period) const {
    if (last_ == 0) return 0;
    return std::clamp(period - secondsSince(last_), 0.0, period);
}

void PresentPacer::pace(double period, bool hold) {
    if (hold) {
        const double wait = untilNext(period);
        if (wait > 0) SDL_Delay(static_cast<Uint32>(wait * 1000));
    }
    last_ = SDL_GetPerformanceCounter();
}

} // namespace lumacore::cli
