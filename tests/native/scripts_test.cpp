// Every fidelity script also runs natively: it must stay on the surface (the sanitizer build
// checks every access) and leave the same picture twice.
#include <gtest/gtest.h>

#include "draw_scripts.h"
#include "host/raster/raster_surface.h"

namespace lumacore::testing {
namespace {

class Scripts : public ::testing::TestWithParam<DrawScript> {};

TEST_P(Scripts, AreDeterministicOnTheRasteriser) {
    const DrawScript& script = GetParam();
    Bitmap first(script.width, script.height);
    Bitmap second(script.width, script.height);
    RasterSurface a(first);
    RasterSurface b(second);
    script.draw(a);
    script.draw(b);
    EXPECT_EQ(first.packed(), second.packed());
    EXPECT_EQ(first.packed().size(), static_cast<std::size_t>(script.width) * script.height);
}

INSTANTIATE_TEST_SUITE_P(Fidelity, Scripts, ::testing::ValuesIn(fidelityScripts()),
                         [](const ::testing::TestParamInfo<DrawScript>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace lumacore::testing
