#include "history/history_render.h"

#include <algorithm>

#include "history/column_box.h"
#include "host/arith.h"

namespace lumacore {
namespace {

constexpr double kBanner = kBannerFraction;
constexpr double kAboveBaseline = kAboveBaselineFraction;

int capChannel(int value) {
    return value >= 255 ? 255 : value;
}

} // namespace

BinShade binShade(const HistoryState& state, int bin, int level) {
    // The cap is applied before truncating, so that no brightness, however absurd, overflows
    // the conversion; every in-range intensity is the truncated product as before.
    const double raw = (bin * 0.01 + 2.0) * state.brightness * level;
    const int v = raw > 245.0 ? 245 : truncToInt(raw);
    // No intensity, no colour: a negative one (a negative brightness) would only make negative
    // channels, and beyond -2^23 overflow them.
    if (v <= 0) return {v, 0, 0, 0};
    const PaletteEntry& hue = state.palette[255 * bin / kHistoryBins];
    return {v, capChannel(hue.red * v / 215), capChannel(hue.green * v / 215),
            capChannel(hue.blue * v / 215)};
}

BoxPlacement boxPlacement(const HistoryState& state, int bin, int intensity) {
    const int W = state.windowWidth;
    const int H = state.windowHeight;
    return {
        truncToInt(W - bin * static_cast<double>(state.depthStep) / state.skewTangent),
        truncToInt(H * (kAboveBaseline + bin * static_cast<double>(state.verticalScale) / 150)),
        truncToInt(static_cast<double>(intensity) * H * kAboveBaseline / 255),
    };
}

Rect bandRect(const HistoryState& state, int bin) {
    const int W = state.windowWidth;
    const int m = truncToInt((1.0 - kBanner) * state.windowHeight * bin / 150);
    return {W - state.columnStep, m - 1, W, truncToInt(m + static_cast<double>(state.depthStep))};
}

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

    // The new strip, over the full client height, banner included: the display's background.
    dc->setPen(kBlack);
    dc->setBrush(kBlack);
    dc->setOpacity(Surface::Opacity::Clear);
    dc->rectangle(W - state.columnStep, 0, W, H);
    // The boxes are solid; the bands are light on the ground, so that a quiet one over a picture
    // lets it through.
    dc->setOpacity(is3D ? Surface::Opacity::Solid : Surface::Opacity::Light);

    // Lowest frequency first, so that later bins are drawn over earlier ones.
    for (int i = 0; i < kHistoryBins; ++i) {
        const int level = is3D ? state.binSums[i] / state.columnStep
                               : module.spectrumData[1][i] + module.spectrumData[0][i];
        const BinShade shade = binShade(state, i, level);
        if (shade.intensity <= 3) continue;

        if (is3D) {
            dc->setPen(rgb(std::min(shade.red + 20, 255), std::min(shade.green + 20, 255),
                           std::min(shade.blue + 20, 255)));
            dc->setBrush(rgb(shade.red, shade.green, shade.blue));
            const BoxPlacement box = boxPlacement(state, i, shade.intensity);
            drawColumnBox(state, box.x, box.y, box.height);
        } else {
            const Colour colour = rgb(shade.red, shade.green, shade.blue);
            dc->setPen(colour);
            dc->setBrush(colour);
            const Rect band = bandRect(state, i);
            dc->rectangle(band.left, band.top, band.right, band.bottom);
        }
    }
    dc->setOpacity(Surface::Opacity::Solid);
    return 0;
}

int historyRender(winampVisModule* module) {
    return module == nullptr ? 0 : historyRender(historyState(), *module);
}

} // namespace lumacore
