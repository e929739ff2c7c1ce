// The video's colour conversion against FFmpeg's own (swscale, BT.709, full-range RGB in,
// limited-range 4:2:0 out) on pictures where the two methods must agree: solid colours exactly,
// gradients within a level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "ffmpeg/ffmpeg_owners.h"
#include "output/yuv420.h"

namespace lumacore::cli {
namespace {

struct Planes {
    int width, height;
    std::vector<std::uint8_t> y, cb, cr;
    Planes(int w, int h)
        : width(w), height(h), y(static_cast<std::size_t>(w) * h), cb(y.size() / 4),
          cr(y.size() / 4) {}
    YuvPlanes view() { return {{y.data(), cb.data(), cr.data()}, {width, width / 2, width / 2}}; }
};

Planes bySwscale(const std::vector<std::uint32_t>& words, int width, int height) {
    Planes out(width, height);
    ScalerPtr scaler(sws_getContext(width, height, AV_PIX_FMT_0RGB32, width, height,
                                    AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr,
                                    nullptr, nullptr));
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    const auto* source = reinterpret_cast<const std::uint8_t*>(words.data());
    const int stride = width * 4;
    YuvPlanes view = out.view();
    sws_scale(scaler.get(), &source, &stride, 0, height, view.plane, view.stride);
    return out;
}

int largestDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

TEST(Yuv420, AgreesWithSwscale) {
    struct Case {
        const char* name;
        int width, height;
        std::uint32_t (*pixel)(int x, int y);
        int tolerance; // levels, in every plane
    };
    const Case cases[] = {
        {"black", 64, 32, [](int, int) { return 0x000000u; }, 0},
        {"white", 64, 32, [](int, int) { return 0xFFFFFFu; }, 0},
        {"red", 34, 18, [](int, int) { return 0xFF0000u; }, 0},
        {"green", 34, 18, [](int, int) { return 0x00FF00u; }, 0},
        {"blue", 34, 18, [](int, int) { return 0x0000FFu; }, 0},
        {"teal", 34, 18, [](int, int) { return 0x1EC85Au; }, 0},
        {"grey ramp", 256, 8, [](int x, int) { return static_cast<std::uint32_t>(x) * 0x010101u; },
         1},
        {"colour ramps", 256, 64,
         [](int x, int y) {
             return static_cast<std::uint32_t>(x) << 16 | static_cast<std::uint32_t>(y * 4) << 8 |
                    static_cast<std::uint32_t>(255 - x);
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> words(static_cast<std::size_t>(c.width) * c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                words[static_cast<std::size_t>(y) * c.width + x] = c.pixel(x, y);
        Planes ours(c.width, c.height);
        toYuv420(words.data(), c.width, c.width, c.height, ours.view());
        const Planes theirs = bySwscale(words, c.width, c.height);
        EXPECT_LE(largestDifference(ours.y, theirs.y), c.tolerance) << "luma";
        EXPECT_LE(largestDifference(ours.cb, theirs.cb), c.tolerance) << "Cb";
        EXPECT_LE(largestDifference(ours.cr, theirs.cr), c.tolerance) << "Cr";
    }
}

} // namespace
} // namespace lumacore::cli
