#include "history/history_render.h"

#include <algorithm>

#include "history/column_box.h"
#include "host/arith.h"

namespace lumacore {
namespace {

constexpr double kBanner = kBannerFraction;
constexpr double kAboveBaseline = kAboveBaselineFraction;

int capChannel(int value) { return value >= 255 ? 255 : value; }

// Intensity of a bin: boosted for higher bins, scaled by the brightness, at most 245. The cap is
// applied before truncating so that no brightness, however absurd, overflows the conversion.
int intensityOf(int bin, float brightness, int level) {
    const double raw = (bin * 0.01 + 2.0) * brightness * level;
    return raw > 245.0 ? 245 : truncToInt(raw);
}

} // namespace

int historyRender(HistoryState& state, const winampVisModule& module) {
    const int W = state.windowWidth;
    const int H = state.windowHeight;
    // A minimised window (no client area) keeps counting frames but draws nothing.
    Surface* dc = (W > 0 && H > 0) ? state.drawDC : nullptr;
    const int pictureHeight = truncToInt((1.0 - kBanner) * H);
    const bool is3D = state.mode3D != 0;

    if (is3D) {
        for (int i = 0; i < kHistoryBins; ++i) {
            if (state.frameCount == 0) state.binSums[i] = 0;
            state.binSums[i] += module.spectrumData[0][i] + module.spectrumData[1][i];
        }
        ++state.frameCount;
        if (dc) dc->scrollLeft(W - 1, pictureHeight, 1);
        if (state.frameCount <= state.columnStep) return 0;
        state.frameCount = 0;
    } else if (dc) {
        dc->scrollLeft(W - state.columnStep, pictureHeight, state.columnStep);
    }
    if (!dc) return 0;

    // The new strip, over the full client height, banner included.
    dc->setPen(kBlack);
    dc->setBrush(kBlack);
    dc->rectangle(W - state.columnStep, 0, W, H);

    // Lowest frequency first, so that later bins are drawn over earlier ones.
    for (int i = 0; i < kHistoryBins; ++i) {
        const int level = is3D ? state.binSums[i] / state.columnStep
                               : module.spectrumData[1][i] + module.spectrumData[0][i];
        const int v = intensityOf(i, state.brightness, level);
        const PaletteEntry& hue = state.palette[255 * i / kHistoryBins];
        const int red = capChannel(hue.red * v / 215);
        const int green = capChannel(hue.green * v / 215);
        const int blue = capChannel(hue.blue * v / 215);
        if (v <= 3) continue;

        if (is3D) {
            dc->setPen(rgb(std::min(red + 20, 255), std::min(green + 20, 255),
                           std::min(blue + 20, 255)));
            dc->setBrush(rgb(red, green, blue));
            const int x = truncToInt(W - i * static_cast<double>(state.depthStep) /
                                             state.skewTangent);
            const int y = truncToInt(
                H * (kAboveBaseline + i * static_cast<double>(state.verticalScale) / 150));
            const int height = truncToInt(static_cast<double>(v) * H * kAboveBaseline / 255);
            drawColumnBox(state, x, y, height);
        } else {
            const Colour colour = rgb(red, green, blue);
            dc->setPen(colour);
            dc->setBrush(colour);
            const int m = truncToInt((1.0 - kBanner) * H * i / 150);
            dc->rectangle(W - state.columnStep, m - 1, W, truncToInt(m + static_cast<double>(state.depthStep)));
        }
    }
    return 0;
}

int historyRender(winampVisModule* module) {
    return module == nullptr ? 0 : historyRender(historyState(), *module);
}

} // namespace lumacore
