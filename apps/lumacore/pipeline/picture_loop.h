// The one loop of every command: the clock gives a picture's time, the module runner makes the
// Render calls due by it, and its picture goes to the output.
#pragma once

#include <cstdint>
#include <functional>

#include "host/raster/bitmap.h"
#include "pipeline/clock.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

// Where the loop's pictures go, in the module's own pixel layout: a file output (render's
// OutputPictures) or a window.
class PictureSink {
  public:
    virtual ~PictureSink() = default;
    virtual void show(const Bitmap& picture) = 0;
};

struct LoopOptions {
    double callPeriod = 0; // seconds between Render calls: a picture later than one period
                           // after the last call no longer shows the sound, and ends the loop
    std::function<void(std::int64_t)> onPicture; // pictures shown so far; may be empty
};

// Runs until the clock or the sound ends; returns the number of pictures shown.
std::int64_t runPictures(Clock& clock, ModuleRunner& runner, PictureSink& sink,
                         const LoopOptions& options);

} // namespace lumacore::cli
