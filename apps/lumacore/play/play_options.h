// What `lumacore play` and `lumacore listen` need to know: the display options they share with
// `render`, how the window starts, and each command's own.
#pragma once

#include <string>
#include <vector>

#include "render/render_options.h"

namespace lumacore::cli {

// The window's side, common to the live commands.
struct LiveOptions : DisplayOptions {
    bool fullscreen = false;
    std::string dump; // a PNG of the last picture shown, written at the end
    // Which display options the command line gave: they win over the settings file.
    bool moduleGiven = false;
    bool modeGiven = false;
    bool brightnessGiven = false;
};

struct PlayOptions : LiveOptions {
    std::vector<std::string> inputs; // files and folders; none: the demo tune
    bool recursive = false;          // folders with their subfolders
    bool loop = false;               // the list again from the top when it ends
    bool noSound = false;            // the picture alone, paced by the clock
};

} // namespace lumacore::cli
