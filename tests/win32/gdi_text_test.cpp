// Text on a real GDI surface: GdiSurface's text operations reach the DC (colours, font height,
// fonts released), and the title banner drawn through GDI matches the rasteriser's everywhere
// outside the text.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "history/title_banner.h"
#include "host/msvc_rand.h"
#include "host/raster/raster_surface.h"
#include "host/win32/gdi_surface.h"

namespace lumacore {
namespace {

constexpr Colour kPaper = rgb(250, 250, 250);
constexpr Colour kBack = rgb(10, 20, 30);
constexpr Colour kText = rgb(200, 220, 40);

// A memory DC holding a top-down 32-bit DIB section, owned for the test's duration.
class DibCanvas {
  public:
    DibCanvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~DibCanvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    bool valid() const { return dc_ && bitmap_ && bits_; }
    HDC dc() const { return dc_; }
    Colour at(int x, int y) const {
        GdiFlush();
        return colourOfPixel(static_cast<const std::uint32_t*>(bits_)[y * width_ + x] & 0xFFFFFF);
    }
    void fill(Colour colour) {
        auto* p = static_cast<std::uint32_t*>(bits_);
        for (int i = 0; i < width_ * height_; ++i)
            p[i] = pixelOf(colour);
    }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

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
        SCOPED_TRACE(testing::Message() << "height " << font.height);
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
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
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
