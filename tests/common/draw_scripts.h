// Scripts of drawing operations that the fidelity suite plays on real GDI and on the software
// rasteriser alike, and the scripted spectra that drive whole renderer sequences.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "host/surface.h"
#include "host/vis_module.h"

namespace lumacore::testing {

// A small deterministic generator (splitmix64), the same on every compiler and platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t next();
    // Uniform in lo..hi inclusive.
    int between(int lo, int hi);
    Colour colour() { return next() & 0xFFFFFF; }

  private:
    std::uint64_t state_;
};

struct DrawScript {
    std::string name;
    int width;
    int height;
    std::function<void(Surface&)> draw;
    // Whether the script must change at least one pixel (a 1x1 surface may legitimately not).
    bool drawsSomething = true;
};

// gtest prints a script by its name.
inline void PrintTo(const DrawScript& script, std::ostream* out) {
    *out << script.name;
}

// Every script of the fidelity suite.
std::vector<DrawScript> fidelityScripts();

// Fills the module's spectrum and waveform rows for frame `frame` of a music-like signal.
void scriptedFrame(winampVisModule& module, int frame);

// The starting content of a fidelity surface: a fixed pattern, so that scrolls and partly drawn
// primitives show what they leave alone.
std::uint32_t backgroundPixel(int x, int y);

} // namespace lumacore::testing
