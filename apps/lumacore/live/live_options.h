// What the live window of `lumacore play` and `lumacore listen` needs to know: the display
// options every command shares, and how the window starts.
#pragma once

#include <string>

#include "live/live_screen.h"
#include "pipeline/display_options.h"

namespace lumacore::cli {

// The display server the pictures go to: the one the desktop runs, or one chosen by name.
enum class VideoChoice { Auto, X11, Wayland };

struct LiveOptions : DisplayOptions {
    bool fullscreen = false;
    VideoChoice video = VideoChoice::Auto;
    // The pictures as the desktop's background rather than in a window.
    bool wallpaper = false;
    WallpaperOptions wallpaperOptions;
    std::string dump; // a PNG of the last picture shown, written at the end
    // Which display options the command line gave: they win over the settings file.
    bool moduleGiven = false;
    bool modeGiven = false;
    bool brightnessGiven = false;
};

} // namespace lumacore::cli
