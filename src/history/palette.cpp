#include "history/palette.h"

namespace lumacore {

Colour hueColour(int hue, int base, int scale) {
    if (scale > 255) scale = 255;
    const int span = 255 - base;

    // Each channel's rules apply in order; a later rule that applies replaces an earlier value.
    int green = base;
    if (hue <= 40) green = base + span * hue / 40;
    if (hue >= 120 && hue <= 160) green = base + span * (160 - hue) / 40;
    if (hue >= 40 && hue <= 120) green = 255;

    int red = (hue <= 40 || hue > 200) ? 255 : base;
    if (hue >= 40 && hue <= 80) red = base + span * (80 - hue) / 40;
    if (hue >= 160 && hue <= 200) red = base + span * (hue - 160) / 40;

    int blue = (hue > 80 && hue <= 200) ? 255 : base;
    if (hue >= 200 && hue <= 240) blue = base + (240 - hue) * span / 40;
    if (hue >= 80 && hue <= 120) blue = base + span * (hue - 80) / 40;

    red = red * scale / 255;
    green = green * scale / 255;
    blue = blue * scale / 255;
    return rgb(red, green, blue);
}

void buildPalette(HistoryState& state) {
    for (int k = 0; k < kPaletteSize; ++k) {
        const Colour colour = hueColour(250 * k / 256, 0, 255);
        state.palette[k] = {redOf(colour), greenOf(colour), blueOf(colour)};
    }
}

} // namespace lumacore
