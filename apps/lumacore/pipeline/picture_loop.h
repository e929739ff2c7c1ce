// The one loop of every command: the clock gives a picture's time, the module runner makes the
// Render calls due by it, and its picture goes to the output.
#pragma once

#include <cstdint>
#include <functional>

#include "output/frame_sink.h"
#include "pipeline/clock.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

struct LoopOptions {
    int scale = 1;         // integer enlargement of each picture
    double callPeriod = 0; // seconds between Render calls: a picture later than one period
                           // after the last call no longer shows the sound, and ends the loop
    std::function<void(std::int64_t)> onPicture; // pictures written so far; may be empty
};

// Runs until the clock or the sound ends; returns the number of pictures written.
std::int64_t runPictures(Clock& clock, ModuleRunner& runner, FrameSink& sink,
                         const LoopOptions& options);

} // namespace lumacore::cli
