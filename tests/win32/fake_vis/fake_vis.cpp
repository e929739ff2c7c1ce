// The fake plug-in's two modules. Everything it is told or asked is appended to `events` as
// "name[:detail]" entries, which the test reads back.
#include "fake_vis.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using lumacore::winampVisHeader;
using lumacore::winampVisModule;

// Render may come from another thread than the window's messages: the list has a lock.
class EventList {
  public:
    EventList() { InitializeCriticalSection(&lock_); }
    ~EventList() { DeleteCriticalSection(&lock_); }
    void add(const std::string& event) {
        EnterCriticalSection(&lock_);
        text_ += event;
        text_ += ';';
        LeaveCriticalSection(&lock_);
    }
    void clear() {
        EnterCriticalSection(&lock_);
        text_.clear();
        LeaveCriticalSection(&lock_);
    }
    // Read only once the run is over.
    const char* text() const { return text_.c_str(); }

  private:
    CRITICAL_SECTION lock_;
    std::string text_;
};

EventList events;
HWND window = nullptr;
HWND dialog = nullptr;
DWORD initThread = 0;
bool renderedElsewhere = false;

void note(const std::string& event) {
    events.add(event);
}

std::string number(unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(hwnd, fakevis::kSlider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 20));
        return TRUE;
    case WM_HSCROLL: {
        const auto slider = reinterpret_cast<HWND>(lParam);
        note("hscroll:" + std::to_string(LOWORD(wParam)) + ":" +
             std::to_string(SendMessageA(slider, TBM_GETPOS, 0, 0)) + ":" +
             std::to_string(GetDlgCtrlID(slider)));
        return TRUE;
    }
    case WM_COMMAND:
        note("dlgcommand:" + std::to_string(LOWORD(wParam)) + ":" + std::to_string(HIWORD(wParam)));
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    winampVisModule* module =
        reinterpret_cast<winampVisModule*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    const HWND player = module ? static_cast<HWND>(module->hwndParent) : nullptr;
    switch (message) {
    case WM_KEYDOWN:
        note("keydown:" + number(wParam) + ":" + number(static_cast<DWORD>(lParam)));
        break;
    case WM_KEYUP:
        note("keyup:" + number(wParam) + ":" + number(static_cast<DWORD>(lParam)));
        PostMessageA(player, WM_KEYUP, wParam, lParam);
        return 0;
    case WM_CHAR:
        note("char:" + number(wParam));
        return 0;
    case WM_TIMER: {
        const LRESULT pos = SendMessageA(player, WM_USER, 0, 125);
        const auto* title = reinterpret_cast<const char*>(
            SendMessageA(player, WM_USER, static_cast<WPARAM>(pos), 212));
        note("title:" + std::to_string(pos) + ":" + (title ? title : "(null)"));
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == fakevis::kShowMessageBox) {
            const int answer =
                MessageBoxA(player, fakevis::kBoxText, fakevis::kBoxCaption, fakevis::kBoxFlags);
            note("msgbox:" + std::to_string(answer));
        } else if (LOWORD(wParam) == fakevis::kOpenDialog && !dialog) {
            dialog = CreateDialogParamA(static_cast<HINSTANCE>(module->hDllInstance),
                                        MAKEINTRESOURCEA(101), player, dialogProc, 0);
            if (dialog) ShowWindow(dialog, SW_SHOW);
            note(dialog ? "dialog" : "dialog-failed");
        } else if (LOWORD(wParam) == fakevis::kLeak) {
            CreatePen(PS_SOLID, 0, RGB(1, 2, 3));
            SelectObject(GetDC(hwnd), CreateSolidBrush(RGB(4, 5, 6)));
            WNDCLASSA leaked{};
            leaked.lpfnWndProc = DefWindowProcA;
            leaked.hInstance = static_cast<HINSTANCE>(module->hDllInstance);
            leaked.lpszClassName = "FakeVisLeaked";
            RegisterClassA(&leaked);
            const HWND orphan = CreateWindowExA(0, "FakeVisLeaked", "", WS_POPUP, 0, 0, 10, 10,
                                                nullptr, nullptr, leaked.hInstance, nullptr);
            SetTimer(orphan, 7, 100000, nullptr);
            note("leaked");
        } else if (LOWORD(wParam) == fakevis::kUseDeadHandles) {
            const HDC dc = GetDC(hwnd);
            ReleaseDC(hwnd, dc);
            Rectangle(dc, 0, 0, 4, 4);
            const HPEN pen = CreatePen(PS_SOLID, 0, RGB(9, 8, 7));
            DeleteObject(pen);
            DeleteObject(pen);
            note("used-dead-handles");
        } else if (LOWORD(wParam) == fakevis::kMisuse) {
            const HDC dc = GetDC(hwnd);
            const HPEN pen = CreatePen(PS_SOLID, 0, RGB(7, 8, 9));
            SelectObject(dc, pen);
            DeleteObject(pen);
            ReleaseDC(hwnd, dc);
            note("misused");
        } else {
            note("command:" + std::to_string(LOWORD(wParam)) + ":" +
                 std::to_string(HIWORD(wParam)));
        }
        return 0;
    case WM_MOUSEMOVE:
        note("mouse:" + std::to_string(static_cast<short>(LOWORD(lParam))) + "," +
             std::to_string(static_cast<short>(HIWORD(lParam))));
        return 0;
    case WM_SIZE:
        note("size:" + std::to_string(LOWORD(lParam)) + "," + std::to_string(HIWORD(lParam)));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        note("destroy");
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int fakeInit(winampVisModule* module) {
    note("init");
    initThread = GetCurrentThreadId();
    renderedElsewhere = false;
    // What the player filled in before Init.
    char parentClass[64] = "";
    GetClassNameA(static_cast<HWND>(module->hwndParent), parentClass, sizeof parentClass);
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&fakeInit), &self);
    note("fields:" + std::to_string(module->sRate) + ":" + std::to_string(module->nCh) + ":" +
         parentClass + ":" + (module->hDllInstance == self ? "self" : "other"));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const auto instance = static_cast<HINSTANCE>(module->hDllInstance);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = fakevis::kWindowClass;
    RegisterClassA(&windowClass);
    RECT rect{0, 0, fakevis::kClientWidth, fakevis::kClientHeight};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
    window = CreateWindowExA(0, fakevis::kWindowClass, "Fake Vis", WS_OVERLAPPEDWINDOW, 20, 20,
                             rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                             instance, nullptr);
    if (!window) return 1;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(module));
    ShowWindow(window, SW_SHOWNORMAL);
    return 0;
}

int fakeRender(winampVisModule* module) {
    note("render");
    if (GetCurrentThreadId() != initThread && !renderedElsewhere) {
        renderedElsewhere = true;
        note("render-thread:other");
    }
    if (!IsWindow(window)) return 0;
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return 0;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<std::size_t>(y) * width + x] =
                fakevis::patternPixel(module->spectrumData, module->waveformData, x, y, height);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC dc = GetDC(window);
    SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, pixels.data(), &info,
                      DIB_RGB_COLORS);
    ReleaseDC(window, dc);
    const bool stop = module->spectrumData[0][0] == fakevis::kStopMarker[0] &&
                      module->spectrumData[0][1] == fakevis::kStopMarker[1] &&
                      module->spectrumData[0][2] == fakevis::kStopMarker[2];
    return stop ? 1 : 0;
}

void fakeQuit(winampVisModule* module) {
    note("quit");
    if (initThread && GetCurrentThreadId() != initThread) note("quit-thread:other");
    if (dialog) DestroyWindow(dialog);
    dialog = nullptr;
    if (IsWindow(window)) DestroyWindow(window);
    window = nullptr;
    UnregisterClassA(fakevis::kWindowClass, static_cast<HINSTANCE>(module->hDllInstance));
}

void fakeConfig(winampVisModule* module) {
    note("config");
    MessageBoxA(static_cast<HWND>(module->hwndParent), "Fake configuration", "Fake Vis", MB_OK);
}

int failingInit(winampVisModule* module) {
    note("init-failed");
    MessageBoxA(static_cast<HWND>(module->hwndParent), "Cannot start", "Error", MB_OK);
    return 1;
}

winampVisModule* getModule(int index);

winampVisModule fakeModule = [] {
    winampVisModule m;
    m.description = "Fake Vis";
    m.delayMs = 5;
    m.spectrumNch = 2;
    m.waveformNch = 2;
    m.Config = fakeConfig;
    m.Init = fakeInit;
    m.Render = fakeRender;
    m.Quit = fakeQuit;
    return m;
}();

winampVisModule failingModule = [] {
    winampVisModule m;
    m.description = "Failing";
    m.Config = fakeConfig;
    m.Init = failingInit;
    m.Render = fakeRender;
    m.Quit = fakeQuit;
    return m;
}();

winampVisHeader header{lumacore::kVisHeaderVersion, "Fake Plug-in", getModule};

winampVisModule* getModule(int index) {
    return index == 0 ? &fakeModule : index == 1 ? &failingModule : nullptr;
}

} // namespace

extern "C" winampVisHeader* winampVisGetHeader() {
    return &header;
}

extern "C" const char* fakeVisEvents() {
    return events.text();
}

extern "C" void fakeVisReset() {
    events.clear();
}
