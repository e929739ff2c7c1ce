// One `lumacore render` run: the sound (or a frames file) through the analysis into Render
// calls at the chosen rate, the module's pictures sampled at the video frame rate, into the
// chosen output.
#pragma once

#include "render/render_options.h"

namespace lumacore::cli {

// Runs the render; throws AudioError, OutputError, FramesError or std::invalid_argument (bad
// options) with a one-line message. Nothing is left at the output unless it completes.
void runRender(RenderOptions options);

// `lumacore analyse`: writes the frames file of `input` (empty: the demo tune) at `rate` calls
// per second.
void runAnalyse(const std::string& input, const std::string& output, double rate);

} // namespace lumacore::cli
