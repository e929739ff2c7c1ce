#include "capture.h"

#include <cstring>

namespace lumacore::vishost {
namespace {

class WindowDc {
  public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    HDC get() const { return dc_; }

  private:
    HWND hwnd_;
    HDC dc_;
};

class MemoryDc {
  public:
    explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    HDC get() const { return dc_; }

  private:
    HDC dc_;
};

class DibSection {
  public:
    DibSection(HDC dc, int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    DibSection(const DibSection&) = delete;
    DibSection& operator=(const DibSection&) = delete;
    ~DibSection() {
        if (bitmap_) DeleteObject(bitmap_);
    }
    HBITMAP get() const { return bitmap_; }
    const std::uint32_t* bits() const { return static_cast<const std::uint32_t*>(bits_); }

  private:
    HBITMAP bitmap_ = nullptr;
    void* bits_ = nullptr;
};

class Selection {
  public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { SelectObject(dc_, previous_); }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

Image fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return {};
}

} // namespace

Image captureClient(HWND hwnd, std::string* error) {
    if (!hwnd || !IsWindow(hwnd)) return fail(error, "no such window");
    RECT client{};
    GetClientRect(hwnd, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0)
        return fail(error, "the client area is empty (" + std::to_string(width) + "x" +
                               std::to_string(height) + ")");
    const WindowDc screen(hwnd);
    if (!screen.get()) return fail(error, "cannot get the window's device context");
    const MemoryDc memory(screen.get());
    const DibSection dib(screen.get(), width, height);
    if (!memory.get() || !dib.get()) return fail(error, "cannot create a bitmap to copy into");
    {
        const Selection selected(memory.get(), dib.get());
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY))
            return fail(error, "cannot copy the client area");
        GdiFlush();
    }
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.assign(dib.bits(), dib.bits() + static_cast<std::size_t>(width) * height);
    for (std::uint32_t& p : image.pixels)
        p &= 0x00FFFFFF;
    if (error) error->clear();
    return image;
}

} // namespace lumacore::vishost
