// The picture loop.
#include "pipeline/picture_loop.h"

namespace lumacore::cli {

std::int64_t runPictures(Clock& clock, ModuleRunner& runner, PictureSink& sink,
                         const LoopOptions& options) {
    std::int64_t pictures = 0;
    while (const std::optional<double> time = clock.nextPicture()) {
        runner.advanceTo(*time);
        if (!runner.shows(*time, options.callPeriod)) break; // the sound has ended
        sink.show(runner.picture());
        ++pictures;
        if (options.onPicture) options.onPicture(pictures);
    }
    return pictures;
}

} // namespace lumacore::cli
