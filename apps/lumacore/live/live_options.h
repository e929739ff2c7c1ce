// What the live window of `lumacore play` and `lumacore listen` needs to know: the display
// options every command shares, and how the window starts.
#pragma once

#include <string>

#include "pipeline/display_options.h"

namespace lumacore::cli {

struct LiveOptions : DisplayOptions {
    bool fullscreen = false;
    std::string dump; // a PNG of the last picture shown, written at the end
    // Which display options the command line gave: they win over the settings file.
    bool moduleGiven = false;
    bool modeGiven = false;
    bool brightnessGiven = false;
};

} // namespace lumacore::cli
