// Fidelity: every script draws through real GDI into a 32-bit DIB section and through the
// software rasteriser into a Bitmap, from the same starting pixels; the pictures must agree
// pixel for pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "dib_canvas.h"
#include "draw_scripts.h"
#include "host/raster/raster_surface.h"
#include "host/win32/gdi_surface.h"

namespace lumacore::testing {
namespace {

class Fidelity : public ::testing::TestWithParam<DrawScript> {};

TEST_P(Fidelity, RasteriserMatchesGdi) {
    const DrawScript& script = GetParam();
    const int w = script.width, h = script.height;

    DibCanvas canvas(w, h);
    ASSERT_TRUE(canvas.valid());
    Bitmap bitmap(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            canvas.pixels()[y * w + x] = backgroundPixel(x, y);
            bitmap.row(y)[x] = backgroundPixel(x, y);
        }
    }

    {
        GdiSurface gdi(canvas.dc());
        script.draw(gdi);
    }
    GdiFlush();
    RasterSurface raster(bitmap);
    script.draw(raster);

    int differing = 0;
    int drawn = 0;
    std::ostringstream first;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t expected = canvas.pixels()[y * w + x] & 0xFFFFFF;
            const std::uint32_t actual = bitmap.row(y)[x] & 0xFFFFFF;
            if (expected != backgroundPixel(x, y)) ++drawn;
            if (expected == actual) continue;
            if (++differing <= 12)
                first << " (" << x << "," << y << ") gdi " << std::hex << expected << " raster "
                      << actual << std::dec << ";";
        }
    }
    EXPECT_EQ(differing, 0) << script.name << ":" << first.str();
    // A script that leaves the surface as it found it would prove nothing.
    if (script.drawsSomething) {
        EXPECT_GT(drawn, 0) << script.name << " drew nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, Fidelity, ::testing::ValuesIn(fidelityScripts()),
                         [](const ::testing::TestParamInfo<DrawScript>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace lumacore::testing
