// Everything one `lumacore render` run needs to know, checked before any work starts.
#pragma once

#include <optional>
#include <string>

#include "pipeline/module_runner.h"

namespace lumacore::cli {

struct RenderOptions {
    std::string input;      // audio file; empty: the demo tune
    std::string framesFile; // render from a frames file instead of audio
    std::string output;     // by extension: .mp4 .mkv .webm .png, a directory, "-" or "null"
    ModuleKind module = ModuleKind::History;
    bool threeD = true;
    float brightness = 1.0f;
    int width = 0; // client area
    int height = 0;
    bool sizeGiven = false; // otherwise the module's default size
    double fps = 60;
    double rate = 0; // Render calls per second; 0: the frame rate
    std::optional<std::string> title;
    double start = 0;
    std::optional<double> duration; // none: to the end
    double at = 0;                  // the moment of a .png still
    int scale = 1;
    bool quiet = false;
};

// The module's default client size: 1280 x 720 for the spectrum history, 289 x 257 (the whole
// picture they draw) for the scopes.
void applyDefaults(RenderOptions& options);

// Empty when the options make sense, otherwise a one-line description of the first problem.
// Every number is held to a range that keeps its products with the others in range.
std::string checkOptions(const RenderOptions& options);

// Empty when `rate` is a Render call rate the analysis and frames files accept.
std::string checkCallRate(double rate);

} // namespace lumacore::cli
