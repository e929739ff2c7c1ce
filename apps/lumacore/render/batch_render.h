// `lumacore render` with several inputs (files and folders): one output for each audio file,
// named after it, in an output folder; several renders at once where the machine has the cores.
#pragma once

#include <string>
#include <vector>

#include "render/render_options.h"

namespace lumacore::cli {

struct BatchOptions {
    std::vector<std::string> inputs; // files and folders, in order
    std::string format = "mp4";      // mp4, mkv, webm, mov or png
    bool recursive = false;          // folders with their subfolders
    int jobs = 0;                    // renders at once; 0: defaultJobs()
    bool atGiven = false;            // --at, which only a single still takes
};

// The most renders at once --jobs takes.
inline constexpr int kMaxJobs = 16;

// Renders at once when --jobs is not given, for a machine of `cores` cores: one per core, at
// most four.
int defaultJobs(unsigned cores);

// Renders every input of the batch with `options` (its input and output are each job's) and
// returns the exit status: 1 when any input failed (each named in one line), else 0. Throws
// std::invalid_argument, OutputError or BackgroundError, with one line and before anything is
// written, for a batch it refuses: bad options, no output folder, two inputs for one output, a
// --background picture that cannot be read (decoded once for all the tracks).
int runBatch(RenderOptions options, const BatchOptions& batch);

} // namespace lumacore::cli
