#include "scope/win32/scope_window.h"

#include <windows.h>

#include <optional>

#include "history/history_state.h"
#include "host/settings.h"
#include "host/win32/close_request.h"
#include "host/win32/gdi_surface.h"
#include "host/win32/module_path.h"
#include "host/win32/profile_store.h"
#include "host/win32/screen_metrics.h"
#include "host/win32/surface_lock.h"
#include "host/win32/window_rect.h"
#include "host/win32/window_surface.h"
#include "host/window_placement.h"
#include "scope/oscilloscope.h"
#include "scope/scope_state.h"
#include "scope/vu_meter.h"

namespace lumacore {
namespace {

constexpr char kClassName[] = "3D-Lumacor";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr int kOuterWidth = 288;
constexpr int kOuterHeight = 280;
constexpr char kAboutText[] = "Lumacore oscilloscope and VU meter\n"
                              "by the Lumacore authors\n\n"
                              "Contact: see the Lumacore README";

// The window's drawing surface, held from Init until Quit (or until the window is destroyed).
// Used only under the surface lock.
std::optional<WindowSurface> windowSurface;

// This run read the position and opened its window: only such a run writes the position back.
bool runOpened = false;

HWND scopeHwnd() {
    return static_cast<HWND>(scopeState().scopeWindow);
}

// Puts the surface's own pen and brush back, then hands the DC back to the window, after any
// frame in progress on another thread.
void releaseWindowSurface() {
    const SurfaceAccess access;
    windowSurface.reset();
    historyState().drawDC = nullptr;
}

// The answer to a close request, on the window's own thread: the surface given back, the window
// destroyed, its class unregistered.
void closeScopeWindow(HWND hwnd) {
    if (hwnd == scopeHwnd()) releaseWindowSurface();
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    DestroyWindow(hwnd);
    UnregisterClassA(kClassName, instance);
}

// The one call that draws a frame on the window's surface, holding the surface lock.
template <typename Draw> int renderFrame(winampVisModule* module, Draw draw) {
    const SurfaceAccess access;
    Surface* dc = historyState().drawDC;
    if (module == nullptr || dc == nullptr) return 0;
    return draw(*dc, *module);
}

} // namespace

LRESULT CALLBACK scopeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ScopeState& state = scopeState();
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        // Whoever destroys the window (the user or Quit), nothing may draw on it afterwards.
        if (hwnd == scopeHwnd()) {
            releaseWindowSurface();
            state.scopeWindow = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    case WM_MOVE: {
        // Minimised, the window keeps the position it will be restored to.
        const Rect r = restoredWindowRect(hwnd);
        state.screenX = r.left;
        state.screenY = r.top;
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        RECT client{};
        GetClientRect(hwnd, &client);
        {
            GdiSurface surface(paint.hdc); // puts the paint DC's own pen and brush back
            surface.setPen(kScopeGrey);
            surface.setBrush(kScopeGrey);
            surface.rectangle(0, 0, client.right, client.bottom);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case kCloseRequest:
        closeScopeWindow(hwnd);
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP: {
        auto* module = reinterpret_cast<winampVisModule*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (module != nullptr)
            PostMessageA(static_cast<HWND>(module->hwndParent), message, wParam, lParam);
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void scopeConfig(winampVisModule* module) {
    MessageBoxA(static_cast<HWND>(module->hwndParent), kAboutText, "About", MB_OK);
}

int scopeInit(winampVisModule* module) {
    ScopeState& state = scopeState();
    HWND owner = static_cast<HWND>(module->hwndParent);
    HINSTANCE instance = static_cast<HINSTANCE>(module->hDllInstance);
    {
        ProfileStore store(settingsPath(moduleFileName(*module)));
        readScopeSettings(state, store, module->description);
    }

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = scopeWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) {
        MessageBoxA(owner, "Error registering window class", "blah", MB_OK);
        return 1;
    }

    // A damaged settings file must not put the window off every screen.
    const Rect place = reachablePlacement(state.screenX, state.screenY, {kOuterWidth, kOuterHeight},
                                          monitorRects());
    HWND hwnd =
        CreateWindowExA(0, kClassName, module->description, kWindowStyle, place.left, place.top,
                        kOuterWidth, kOuterHeight, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        MessageBoxA(owner, "Error creating window", module->description, MB_OK);
        // Left registered, the class would make every later Init of this process fail.
        UnregisterClassA(kClassName, instance);
        return 1;
    }
    state.scopeWindow = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(module));
    {
        const SurfaceAccess access;
        windowSurface.emplace(hwnd);
        historyState().drawDC = &windowSurface->surface();
    }
    runOpened = true;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    return 0;
}

void scopeQuit(winampVisModule* module) {
    ScopeState& state = scopeState();
    // A Quit without a run that opened its window (a player calling Quit alone, or after a failed
    // Init) leaves the user's settings as they are.
    if (runOpened) {
        ProfileStore store(settingsPath(moduleFileName(*module)));
        writeScopeSettings(state, store, module->description);
    }
    runOpened = false;
    // The window's own thread gives back the surface, destroys the window and unregisters the
    // class; when it cannot answer now, it does so once it takes its messages again.
    HWND hwnd = scopeHwnd();
    if (hwnd != nullptr && IsWindow(hwnd)) {
        closeOnOwnerThread(hwnd);
        return;
    }
    // The user closed the window already: there is nothing left to release.
    releaseWindowSurface();
    state.scopeWindow = nullptr;
    UnregisterClassA(kClassName, static_cast<HINSTANCE>(module->hDllInstance));
}

int oscilloscopeRender(winampVisModule* module) {
    return renderFrame(
        module, [](Surface& dc, const winampVisModule& m) { return oscilloscopeRender(dc, m); });
}

int vuMeterRender(winampVisModule* module) {
    return renderFrame(module, [](Surface& dc, const winampVisModule& m) {
        return vuMeterRender(scopeState(), dc, m);
    });
}

} // namespace lumacore
