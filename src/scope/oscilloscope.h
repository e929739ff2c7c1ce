// The oscilloscope: a dark background and, per channel, 288 vertical segments from the
// channel's centre line to each sample, coloured by the sample's value.
#pragma once

#include "host/surface.h"
#include "host/vis_module.h"

namespace lumacore {

inline constexpr Colour kOscilloscopeBackground = 3291519; // R 127, G 57, B 50
inline constexpr int kScopeColumns = 288;

// The pen colour of sample s: red (s + 127) and green (2s + 127), both modulo 256.
constexpr Colour oscilloscopeColour(int sample) {
    return rgb((sample + 127) & 0xFF, (2 * sample + 127) & 0xFF, 0);
}

// Redraws the whole picture on `dc`; always returns 0. The background's outline takes whatever
// pen is selected: the previous call's last segment pen.
int oscilloscopeRender(Surface& dc, const winampVisModule& module);

} // namespace lumacore
