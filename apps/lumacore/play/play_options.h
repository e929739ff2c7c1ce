// What `lumacore play` needs to know besides the live window's options.
#pragma once

#include <string>
#include <vector>

#include "live/live_options.h"

namespace lumacore::cli {

struct PlayOptions : LiveOptions {
    std::vector<std::string> inputs; // files and folders; none: the demo tune
    bool recursive = false;          // folders with their subfolders
    bool loop = false;               // the list again from the top when it ends
    bool noSound = false;            // the picture alone, paced by the clock
};

} // namespace lumacore::cli
