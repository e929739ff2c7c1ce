// Everything one `lumacore render` or `lumacore play` run needs to know, checked before any work
// starts. The options both commands take are one struct with one check, so they mean the same.
#pragma once

#include <optional>
#include <string>

#include "output/frame_sink.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

// What every command that shows a module takes.
struct DisplayOptions {
    std::string framesFile; // Render calls from a frames file instead of audio
    ModuleKind module = ModuleKind::History;
    bool threeD = true;
    float brightness = 1.0f;
    int width = 0; // client area
    int height = 0;
    bool sizeGiven = false; // otherwise the command's default size
    double rate = 0;        // Render calls per second; 0: the command's default
    std::optional<std::string> title;
    double start = 0;
    std::optional<double> duration; // none: to the end
};

struct RenderOptions : DisplayOptions {
    std::string input;  // audio file; empty: the demo tune
    std::string output; // by extension: .mp4 .mkv .webm .png, a directory, "-" or "null"
    double fps = 60;
    double at = 0; // the moment of a .png still
    int scale = 1;
    VideoQuality quality = VideoQuality::Balanced;
    bool quiet = false;
};

// The module's default client size: 1280 x 720 for the spectrum history, 289 x 257 (the whole
// picture they draw) for the scopes.
void applyDefaults(RenderOptions& options);

// Empty when the options make sense, otherwise a one-line description of the first problem.
// Every number is held to a range that keeps its products with the others in range.
std::string checkOptions(const RenderOptions& options);

// Empty when a client area of width x height can be drawn, otherwise one line.
std::string checkSize(int width, int height);

// The checks both commands make of the options they share, after the defaults: the call rate,
// the brightness, --start and --duration. Empty, or the first problem in one line.
std::string checkDisplayOptions(const DisplayOptions& options);

// Empty when `rate` is a Render call rate the analysis and frames files accept.
std::string checkCallRate(double rate);

} // namespace lumacore::cli
