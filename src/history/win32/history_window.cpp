#include "history/win32/history_window.h"

#include <windows.h>

#include <cstdlib>
#include <optional>

#include "history/history_render.h"
#include "history/history_state.h"
#include "history/palette.h"
#include "history/title_banner.h"
#include "history/win32/config_dialog.h"
#include "history/win32/history_settings.h"
#include "host/arith.h"
#include "host/win32/close_request.h"
#include "host/win32/gdi_surface.h"
#include "host/win32/module_table.h"
#include "host/win32/player_messages.h"
#include "host/win32/screen_metrics.h"
#include "host/win32/surface_lock.h"
#include "host/win32/window_rect.h"
#include "host/win32/window_surface.h"
#include "host/window_placement.h"

namespace lumacore {
namespace {

constexpr char kClassName[] = "3D-Lumacore";
constexpr char kTitle[] = "3D-Lumacor";
constexpr UINT kClassStyle = CS_VREDRAW | CS_SAVEBITS;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;
constexpr int kConfigureId = 1010;
constexpr int kFullScreenId = 1011;
constexpr int kButtonWidth = 80;
constexpr int kButtonMaxHeight = 20;
constexpr UINT_PTR kBannerTimer = 1;
constexpr UINT kBannerPeriodMs = 4000;

// The window's drawing surface, held from Init until Quit (or until the window is destroyed).
// Used only under the surface lock.
std::optional<WindowSurface> windowSurface;

// This run read the settings and opened its window: only such a run writes the settings back.
bool runOpened = false;

// A Tab or Escape key-down toggled full screen and its character has not arrived yet.
bool keyDownToggled = false;

HWND displayHwnd() {
    return static_cast<HWND>(historyState().displayWindow.load());
}

void showButtons(int command) {
    const HistoryState& state = historyState();
    ShowWindow(static_cast<HWND>(state.configureButton), command);
    ShowWindow(static_cast<HWND>(state.fullScreenButton), command);
}

// Puts the surface's own objects back and hands the DC back to the window, after any frame in
// progress on another thread.
void releaseWindowSurface() {
    const SurfaceAccess access;
    windowSurface.reset();
    historyState().drawDC = nullptr;
}

// Every four seconds: hide the buttons, then clear the banner strip and write the current
// playlist title in it. The player is asked before the surface is taken: its answer may wait
// for a thread that is drawing a frame.
void drawBanner() {
    HistoryState& state = historyState();
    showButtons(SW_HIDE);
    const char* title = playlistTitle(static_cast<HWND>(getModule(0)->hwndParent));
    const SurfaceAccess access;
    if (!windowSurface) return; // the window was closed meanwhile
    drawTitleBanner(state, windowSurface->surface(), title, [] { return std::rand(); });
}

// The answer to a close request, on the window's own thread: the surface given back, the window
// destroyed, its class unregistered.
void closeDisplayWindow(HWND hwnd) {
    if (hwnd == displayHwnd()) releaseWindowSurface();
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
    DestroyWindow(hwnd);
    UnregisterClassA(kClassName, instance);
}

void layoutButtons(int W, int H) {
    HistoryState& state = historyState();
    const double wanted = H * static_cast<double>(kBannerFraction);
    const int b = wanted < kButtonMaxHeight ? truncToInt(wanted) : kButtonMaxHeight;
    SetWindowPos(static_cast<HWND>(state.configureButton), nullptr, W - kButtonWidth, H - b,
                 kButtonWidth, b, 0);
    SetWindowPos(static_cast<HWND>(state.fullScreenButton), nullptr, W - 2 * kButtonWidth, H - b,
                 kButtonWidth, b, 0);
}

} // namespace

void toggleFullScreen() {
    HistoryState& state = historyState();
    HWND hwnd = displayHwnd();
    if (hwnd == nullptr) return;
    if (!state.fullScreen) {
        state.fullScreen = true;
        state.restoreRect = restoredWindowRect(hwnd);
        SetWindowLongA(hwnd, GWL_STYLE, WS_VISIBLE);
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), SWP_FRAMECHANGED);
    } else {
        state.fullScreen = false;
        SetWindowLongA(hwnd, GWL_STYLE, WS_VISIBLE | WS_OVERLAPPEDWINDOW);
        const Rect& r = state.restoreRect;
        SetWindowPos(hwnd, HWND_NOTOPMOST, r.left, r.top, r.width(), r.height(), SWP_FRAMECHANGED);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

LRESULT CALLBACK historyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HistoryState& state = historyState();
    switch (message) {
    case WM_CREATE: {
        HINSTANCE instance = static_cast<HINSTANCE>(getModule(0)->hDllInstance);
        state.configureButton =
            CreateWindowExA(0, "BUTTON", "Configure", kButtonStyle, 0, 0, 0, 0, hwnd,
                            reinterpret_cast<HMENU>(kConfigureId), instance, nullptr);
        state.fullScreenButton =
            CreateWindowExA(0, "BUTTON", "Full Screen", kButtonStyle, 0, 0, 0, 0, hwnd,
                            reinterpret_cast<HMENU>(kFullScreenId), instance, nullptr);
        return 0;
    }
    case WM_DESTROY:
        // Whoever destroys the window (the user or Quit), nothing may draw on it afterwards.
        if (hwnd == displayHwnd()) {
            releaseWindowSurface();
            state.displayWindow = nullptr;
            state.configureButton = nullptr;
            state.fullScreenButton = nullptr;
        }
        PostQuitMessage(0);
        return 0;
    case WM_MOVE:
        // Minimised, the window keeps the rectangle it will be restored to.
        state.windowRect = restoredWindowRect(hwnd);
        state.windowX = LOWORD(lParam);
        state.windowY = HIWORD(lParam);
        break;
    case WM_SIZE:
        state.windowRect = restoredWindowRect(hwnd);
        {
            const SurfaceAccess access; // a frame on another thread reads the size
            setClientSize(state, LOWORD(lParam), HIWORD(lParam));
        }
        layoutButtons(state.windowWidth, state.windowHeight);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        {
            GdiSurface surface(paint.hdc); // puts the paint DC's own objects back at the end
            surface.setPen(state.backgroundColour);
            surface.setBrush(state.backgroundColour);
            surface.rectangle(paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right,
                              paint.rcPaint.bottom);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_TAB || wParam == VK_ESCAPE) {
            toggleFullScreen();
            keyDownToggled = true;
        }
        break;
    case WM_KEYUP: {
        keyDownToggled = false;
        auto* module = reinterpret_cast<winampVisModule*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (module != nullptr)
            PostMessageA(static_cast<HWND>(module->hwndParent), WM_KEYUP, wParam, lParam);
        return 0;
    }
    case WM_CHAR: {
        showButtons(SW_SHOW);
        // The character of a Tab or Escape whose key-down already toggled must not toggle back;
        // Enter, or a character without its key-down, leaves full screen.
        const bool echo = keyDownToggled && (wParam == '\t' || wParam == 27);
        keyDownToggled = false;
        if ((wParam == '\t' || wParam == '\r' || wParam == 27) && state.fullScreen && !echo)
            toggleFullScreen();
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != 0) break;
        if (LOWORD(wParam) == kConfigureId)
            openConfigDialog();
        else if (LOWORD(wParam) == kFullScreenId)
            toggleFullScreen();
        return 0;
    case WM_TIMER:
        drawBanner();
        return 0;
    case kCloseRequest:
        closeDisplayWindow(hwnd);
        return 0;
    case WM_MOUSEMOVE: {
        const int y = HIWORD(lParam);
        if (!state.mouseSeen || y != state.lastMouseY) {
            showButtons(SW_SHOW);
            state.lastMouseY = y;
            state.mouseSeen = true;
        }
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int historyInit(winampVisModule* module) {
    HistoryState& state = historyState();
    HWND owner = static_cast<HWND>(module->hwndParent);
    HINSTANCE instance = static_cast<HINSTANCE>(module->hDllInstance);
    loadHistorySettings(*module);

    WNDCLASSA windowClass{};
    windowClass.style = kClassStyle;
    windowClass.lpfnWndProc = historyWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) {
        MessageBoxA(owner, "Error registering window class", "Error", MB_OK);
        return 1;
    }

    const WindowSize defaultSize{truncToInt(0.6 * GetSystemMetrics(SM_CXSCREEN)),
                                 truncToInt(0.5 * GetSystemMetrics(SM_CYSCREEN))};
    if (state.windowWidth == 0) {
        state.windowWidth = defaultSize.width;
        state.windowHeight = defaultSize.height;
    }
    // A later run of this load reopens the window exactly as it last stood: its outer rectangle,
    // not the client origin and size that the move and size messages left in the fields.
    int x = state.windowX, y = state.windowY;
    WindowSize wanted{state.windowWidth, state.windowHeight};
    if (state.windowRect.width() > 0 && state.windowRect.height() > 0) {
        x = state.windowRect.left;
        y = state.windowRect.top;
        wanted = {state.windowRect.width(), state.windowRect.height()};
    }
    // A damaged settings file must not leave the window without a size or off every screen.
    const Rect place = reachablePlacement(
        x, y, creationSize(wanted, defaultSize, largestWindowSize()), monitorRects());

    HWND hwnd = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, place.left, place.top,
                                place.width(), place.height(), nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) {
        MessageBoxA(owner, "Error creating window", "Error", MB_OK);
        // Left registered, the class would make every later Init of this process fail.
        UnregisterClassA(kClassName, instance);
        return 1;
    }
    state.displayWindow = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(module));
    {
        const SurfaceAccess access;
        windowSurface.emplace(hwnd);
        state.drawDC = &windowSurface->surface();
    }
    runOpened = true;
    state.backgroundColour = kBlack;
    ShowWindow(hwnd, SW_SHOWNORMAL);
    buildPalette(state);
    setMode(state, state.mode3D);
    SetTimer(hwnd, kBannerTimer, kBannerPeriodMs, nullptr);
    return 0;
}

int historyWindowRender(winampVisModule* module) {
    const SurfaceAccess access;
    return historyRender(module);
}

void historyQuit(winampVisModule* module) {
    closeConfigDialog();
    // A Quit without a run that read the settings and opened its window (a player calling Quit
    // alone, or after a failed Init) leaves the user's settings as they are.
    if (runOpened) saveHistorySettings(*module);
    runOpened = false;
    keyDownToggled = false;
    // The window's own thread gives back the surface, destroys the window and unregisters the
    // class. When that thread cannot answer now, it does so once it takes its messages again,
    // and the window stays known until then.
    HWND hwnd = displayHwnd();
    if (hwnd != nullptr && IsWindow(hwnd)) {
        closeOnOwnerThread(hwnd);
        return;
    }
    // The user closed the window already: there is nothing left to release.
    releaseWindowSurface();
    historyState().displayWindow = nullptr;
    UnregisterClassA(kClassName, static_cast<HINSTANCE>(module->hDllInstance));
}

void historyConfig(winampVisModule* module) {
    // After Quit, or once the user closed the window, the message is owned by the player.
    HWND owner = displayHwnd();
    if (owner == nullptr || !IsWindow(owner)) owner = static_cast<HWND>(module->hwndParent);
    MessageBoxA(owner, "Please Press Config Button from the Visualization Window.", "3D-Lumacore",
                MB_OK);
}

} // namespace lumacore
