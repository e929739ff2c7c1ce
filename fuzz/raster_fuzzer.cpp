// Decodes the input into a bitmap size (empty, one pixel wide or high, up to 4096 x 4096) and a
// script of every Surface operation with any int coordinates, and runs it on a RasterSurface
// (text through FreeType) and through the three renderers on state made from the input; the
// sanitizers catch any access outside the pixels and any undefined arithmetic.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "history/history_render.h"
#include "history/palette.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "host/raster/raster_surface.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace {

using lumacore::Point;

// Pixels one input may touch in total, so that every run stays quick however large the bitmap.
constexpr std::int64_t kPixelBudget = 64ll << 20;
constexpr int kMaxSide = 4096;
constexpr std::size_t kMaxPoints = 64;

// Coordinates: mostly near the bitmap, where the coverage rules matter, otherwise anything from
// INT_MIN to INT_MAX, the extremes included.
int coordinate(FuzzedDataProvider& in, int side) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
        return in.ConsumeIntegral<int>();
    case 1:
        return in.PickValueInArray({INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX, 1 << 27,
                                    -(1 << 27), 1 << 28, -(1 << 28), 1 << 30});
    default:
        return in.ConsumeIntegralInRange(-8, side + 8);
    }
}

int side(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeIntegralInRange(0, 2);
    case 1:
        return in.ConsumeIntegralInRange(0, kMaxSide);
    default:
        return in.ConsumeIntegralInRange(0, 96);
    }
}

// Font heights: small ones draw, out-of-range ones must be refused; the sizes between cost too
// much per glyph to draw often.
int fontHeight(FuzzedDataProvider& in) {
    int h = in.ConsumeIntegral<int>();
    if (h > 64 && h <= lumacore::FreetypeTextRenderer::kMaxHeight) h %= 65;
    if (h < -64 && h >= -lumacore::FreetypeTextRenderer::kMaxHeight) h %= 65;
    return h;
}

lumacore::winampVisModule moduleFrom(FuzzedDataProvider& in) {
    lumacore::winampVisModule module;
    module.nCh = in.ConsumeIntegral<int>();
    for (auto& row : module.spectrumData)
        for (auto& value : row)
            value = in.ConsumeIntegral<unsigned char>();
    for (auto& row : module.waveformData)
        for (auto& value : row)
            value = in.ConsumeIntegral<unsigned char>();
    return module;
}

void renderers(FuzzedDataProvider& in, lumacore::RasterSurface& surface) {
    const lumacore::Bitmap& bitmap = surface.bitmap();
    lumacore::HistoryState history;
    lumacore::buildPalette(history);
    lumacore::setClientSize(history, bitmap.width(), bitmap.height());
    history.brightness = in.ConsumeFloatingPoint<float>();
    lumacore::speedValue(history, in.ConsumeIntegral<int>());
    history.drawDC = &surface;
    lumacore::ScopeState scope;
    scope.vuCursor = in.ConsumeIntegral<int>();
    // Each frame scrolls and repaints up to the whole picture a few times.
    const std::int64_t area =
        std::max<std::int64_t>(1, std::int64_t{bitmap.width()} * bitmap.height());
    const int frames = in.ConsumeIntegralInRange(
        1, static_cast<int>(std::clamp<std::int64_t>(kPixelBudget / (4 * area), 1, 12)));
    for (int f = 0; f < frames && in.remaining_bytes() > 0; ++f) {
        if (in.ConsumeBool()) lumacore::setMode(history, in.ConsumeIntegral<int>());
        const lumacore::winampVisModule module = moduleFrom(in);
        lumacore::historyRender(history, module);
        lumacore::oscilloscopeRender(surface, module);
        lumacore::vuMeterRender(scope, surface, module);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static lumacore::FreetypeTextRenderer text;
    FuzzedDataProvider in(data, size);
    const int width = side(in), height = side(in);
    lumacore::Bitmap bitmap(width, height);
    lumacore::RasterSurface surface(bitmap, &text);

    // Every operation may cover the whole bitmap; a large one gets correspondingly few.
    const std::int64_t area = std::max<std::int64_t>(1, std::int64_t{width} * height);
    const std::int64_t maxOps = std::clamp<std::int64_t>(kPixelBudget / area, 2, 256);

    std::vector<Point> points;
    for (std::int64_t op = 0; op < maxOps && in.remaining_bytes() > 0; ++op) {
        switch (in.ConsumeIntegralInRange(0, 12)) {
        case 0:
            surface.setPen(in.ConsumeIntegral<lumacore::Colour>());
            break;
        case 1:
            surface.setBrush(in.ConsumeIntegral<lumacore::Colour>());
            break;
        case 2:
            surface.rectangle(coordinate(in, width), coordinate(in, height), coordinate(in, width),
                              coordinate(in, height));
            break;
        case 3: {
            points.resize(in.ConsumeIntegralInRange<std::size_t>(0, kMaxPoints));
            for (Point& p : points)
                p = {coordinate(in, width), coordinate(in, height)};
            surface.polygon(points);
            break;
        }
        case 4:
            surface.moveTo(coordinate(in, width), coordinate(in, height));
            break;
        case 5:
            surface.lineTo(coordinate(in, width), coordinate(in, height));
            break;
        case 6:
            surface.setPixel(coordinate(in, width), coordinate(in, height),
                             in.ConsumeIntegral<lumacore::Colour>());
            break;
        case 7:
            surface.scrollLeft(coordinate(in, width), coordinate(in, height),
                               coordinate(in, width));
            break;
        case 8:
            surface.setTextColour(in.ConsumeIntegral<lumacore::Colour>());
            break;
        case 9:
            surface.setBackgroundColour(in.ConsumeIntegral<lumacore::Colour>());
            break;
        case 10:
            surface.selectFont(fontHeight(in), in.PickValueInArray<std::string>(
                                                   {"Arial", "Liberation Mono", "", "Arial"}));
            break;
        case 11:
            surface.textOut(coordinate(in, width), coordinate(in, height),
                            in.ConsumeRandomLengthString(64));
            break;
        default:
            renderers(in, surface);
            op += maxOps / 2 + 1; // frames of three renderers cost many operations
            break;
        }
    }
    return 0;
}
