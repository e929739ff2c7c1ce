// Text on a real GDI surface: GdiSurface's text operations reach the DC (colours, font height,
// fonts released), and the title banner drawn through GDI matches the rasteriser's everywhere
// outside the text.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dib_canvas.h"
#include "history/title_banner.h"
#include "host/msvc_rand.h"
#include "host/raster/raster_surface.h"
#include "host/win32/gdi_surface.h"

namespace lumacore {
namespace {

using testing::DibCanvas;

constexpr Colour kPaper = rgb(250, 250, 250);
constexpr Colour kBack = rgb(10, 20, 30);
constexpr Colour kText = rgb(200, 220, 40);

TEST(GdiText, ColoursAndFontsReachTheDcAndFontsAreReleased) {
    DibCanvas canvas(10, 10);
    ASSERT_TRUE(canvas.valid());
    const HGDIOBJ ownFont = GetCurrentObject(canvas.dc(), OBJ_FONT);
    GdiSurface surface(canvas.dc());
    surface.setTextColour(kText);
    surface.setBackgroundColour(kBack);
    EXPECT_EQ(GetTextColor(canvas.dc()), kText);
    EXPECT_EQ(GetBkColor(canvas.dc()), kBack);

    const struct {
        int height;
        int minCell, maxCell;
    } fonts[] = {{36, 35, 37}, {13, 12, 14}, {-20, 21, 255}};
    HGDIOBJ previous = nullptr;
    for (const auto& font : fonts) {
        SCOPED_TRACE(::testing::Message() << "height " << font.height);
        surface.selectFont(font.height, "Arial");
        const HGDIOBJ selected = GetCurrentObject(canvas.dc(), OBJ_FONT);
        EXPECT_NE(selected, ownFont);
        TEXTMETRICA metrics{};
        ASSERT_TRUE(GetTextMetricsA(canvas.dc(), &metrics));
        EXPECT_GE(metrics.tmHeight, font.minCell);
        EXPECT_LE(metrics.tmHeight, font.maxCell);
        // The font it replaced was ours and is gone.
        if (previous != nullptr) {
            EXPECT_EQ(GetObjectType(previous), 0u);
        }
        previous = selected;
    }
    surface.release();
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_FONT), ownFont);
    EXPECT_EQ(GetObjectType(previous), 0u);
}

TEST(GdiText, BannerMatchesTheRasteriserOutsideTheText) {
    const struct { int width, height; } sizes[] = {{600, 400}, {800, 450}, {123, 177}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(::testing::Message() << size.width << "x" << size.height);
        const int w = size.width, h = size.height;
        HistoryState state;
        state.windowWidth = w;
        state.windowHeight = h;
        state.backgroundColour = rgb(0, 0, 0);
        const char* title = "Second Title Here";

        DibCanvas canvas(w, h);
        ASSERT_TRUE(canvas.valid());
        canvas.fill(kPaper);
        SIZE cell{};
        {
            GdiSurface gdi(canvas.dc());
            MsvcRand rand;
            drawTitleBanner(state, gdi, title, [&] { return rand(); });
            GetTextExtentPoint32A(canvas.dc(), title, static_cast<int>(std::strlen(title)), &cell);
        }
        Bitmap bitmap(w, h);
        bitmap.fill(kPaper);
        RasterSurface raster(bitmap);
        MsvcRand rand;
        drawTitleBanner(state, raster, title, [&] { return rand(); });

        const int top = bannerTop(h);
        int textColoured = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool nearText = x <= cell.cx && y >= top - 1 && y <= top + cell.cy;
                if (nearText) {
                    textColoured += canvas.at(x, y) == raster.state().textColour;
                } else {
                    ASSERT_EQ(canvas.at(x, y), bitmap.colourAt(x, y)) << x << "," << y;
                }
            }
        // GDI wrote the text in the colour the rasteriser's state holds.
        EXPECT_GT(textColoured, 0);
    }
}

} // namespace
} // namespace lumacore
