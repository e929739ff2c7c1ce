#include "host/win32/screen_metrics.h"

#include <windows.h>

namespace lumacore {
namespace {

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        const RECT& r = info.rcMonitor;
        auto& rects = *reinterpret_cast<std::vector<Rect>*>(list);
        const Rect rect{r.left, r.top, r.right, r.bottom};
        if (info.dwFlags & MONITORINFOF_PRIMARY)
            rects.insert(rects.begin(), rect);
        else
            rects.push_back(rect);
    }
    return TRUE;
}

} // namespace

Rect virtualScreen() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
            top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::vector<Rect> monitorRects() {
    std::vector<Rect> rects;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&rects));
    if (rects.empty()) rects.push_back(virtualScreen());
    return rects;
}

WindowSize largestWindowSize() {
    return {GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
}

} // namespace lumacore
