// What every command that shows a module takes (`render`, `play`, `listen`), and the checks
// they share, so that an option means the same in each.
#pragma once

#include <optional>
#include <string>

#include "pipeline/module_runner.h"

namespace lumacore::cli {

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

// Empty when a client area of width x height can be drawn, otherwise one line.
std::string checkSize(int width, int height);

// The checks every command makes of the options they share, after the defaults: the call rate,
// the brightness, --start and --duration. Empty, or the first problem in one line.
std::string checkDisplayOptions(const DisplayOptions& options);

// Empty when `rate` is a Render call rate the analysis and frames files accept.
std::string checkCallRate(double rate);

// Empty when `value` is a time from 0 (or above 0 when `positive`) to kMaxStreamSeconds,
// otherwise one line naming the option `name`.
std::string checkSeconds(const char* name, double value, bool positive);

} // namespace lumacore::cli
