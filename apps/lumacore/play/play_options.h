// Everything one `lumacore play` run needs to know: the display options it shares with
// `render`, the entries to play and how the window starts.
#pragma once

#include <string>
#include <vector>

#include "render/render_options.h"

namespace lumacore::cli {

struct PlayOptions : DisplayOptions {
    std::vector<std::string> inputs; // files and folders; none: the demo tune
    bool recursive = false;          // folders with their subfolders
    bool loop = false;               // the list again from the top when it ends
    bool fullscreen = false;
    bool noSound = false; // the picture alone, paced by the clock
    std::string dump;     // a PNG of the last picture shown, written at the end
    // Which display options the command line gave: they win over the settings file.
    bool moduleGiven = false;
    bool modeGiven = false;
    bool brightnessGiven = false;
};

} // namespace lumacore::cli
