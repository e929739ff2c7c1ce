// The title banner of the spectrum-history display: the bottom strip cleared and the current
// playlist title written along it in a random colour, drawn through any Surface.
#pragma once

#include <functional>

#include "history/history_state.h"
#include "host/surface.h"

namespace lumacore {

// The first row of the banner strip of a client area of this height: trunc((1 - 0.09) * height).
int bannerTop(int clientHeight);

// The banner's font height for a client area of this height: trunc((1 - 0.09) * height * 0.1).
int bannerFontHeight(int clientHeight);

// Clears the strip below bannerTop(windowHeight) across windowWidth with backgroundColour (pen
// and brush), draws three values from `rand` (0..32767, as the C runtime's rand gives) for the
// blue, green and red of the text colour, selects Arial of bannerFontHeight, and writes `title`
// at the strip's top-left corner on backgroundColour. A null title writes nothing; the colour
// is drawn and the font selected all the same.
void drawTitleBanner(HistoryState& state, Surface& dc, const char* title,
                     const std::function<int()>& rand);

// Takes from `rand` what drawTitleBanner takes, drawing nothing: a banner that a later one
// covers before anything else is drawn on the strip.
void skipTitleBanner(const std::function<int()>& rand);

} // namespace lumacore
