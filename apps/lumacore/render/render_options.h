// Everything one `lumacore render` run needs to know, checked before any work starts.
#pragma once

#include <string>

#include "output/frame_sink.h"
#include "pipeline/display_options.h"

namespace lumacore::cli {

struct RenderOptions : DisplayOptions {
    std::string input;  // audio file; empty: the demo tune
    std::string output; // by extension: .mp4 .mkv .webm .mov .png, a directory, "-" or "null"
    double fps = 60;
    double at = 0; // the moment of a .png still
    int scale = 1;
    VideoQuality quality = VideoQuality::Balanced;
    bool transparent = false; // the display's background left transparent
    std::string background;   // a picture behind the display: a PNG or JPEG file, or "cover"
    bool quiet = false;
};

// The module's default client size: 1280 x 720 for the spectrum history, 289 x 257 (the whole
// picture they draw) for the scopes.
void applyDefaults(RenderOptions& options);

// Empty when the options make sense, otherwise a one-line description of the first problem.
// Every number is held to a range that keeps its products with the others in range.
std::string checkOptions(const RenderOptions& options);

} // namespace lumacore::cli
