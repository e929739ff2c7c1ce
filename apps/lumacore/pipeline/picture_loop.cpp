// The picture loop.
#include "pipeline/picture_loop.h"

#include <vector>

#include "pipeline/rgba.h"

namespace lumacore::cli {

std::int64_t runPictures(Clock& clock, ModuleRunner& runner, FrameSink& sink,
                         const LoopOptions& options) {
    std::vector<std::uint8_t> rgba;
    std::int64_t pictures = 0;
    while (const std::optional<double> time = clock.nextPicture()) {
        runner.advanceTo(*time);
        if (!runner.shows(*time, options.callPeriod)) break; // the sound has ended
        toRgba(runner.picture(), options.scale, rgba);
        sink.write(rgba.data());
        ++pictures;
        if (options.onPicture) options.onPicture(pictures);
    }
    return pictures;
}

} // namespace lumacore::cli
