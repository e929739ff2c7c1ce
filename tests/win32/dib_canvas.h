// A memory DC with a top-down 32-bit DIB section selected, owned for a test's duration: real GDI
// draws into it and the test reads the pixels back.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/raster/bitmap.h"

namespace lumacore::testing {

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
    // The rows, 0x00RRGGBB, top to bottom.
    std::uint32_t* pixels() const { return static_cast<std::uint32_t*>(bits_); }
    Colour at(int x, int y) const {
        GdiFlush();
        return colourOfPixel(pixels()[y * width_ + x] & 0xFFFFFF);
    }
    void fill(Colour colour) {
        for (int i = 0; i < width_ * height_; ++i)
            pixels()[i] = pixelOf(colour);
    }

  private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

} // namespace lumacore::testing
