// The outer rectangle a window keeps while minimised, from its placement.
#include "host/win32/window_rect.h"

namespace lumacore {
namespace {

Rect toRect(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace

Rect restoredWindowRect(HWND window) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (IsIconic(window) && GetWindowPlacement(window, &placement)) {
        RECT normal = placement.rcNormalPosition;
        // A top-level window that is not a tool window gets its normal position in workspace
        // coordinates: relative to the work area of its monitor, which a taskbar may shift.
        const auto exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!(exStyle & WS_EX_TOOLWINDOW) &&
            GetMonitorInfoA(MonitorFromRect(&normal, MONITOR_DEFAULTTONEAREST), &monitor))
            OffsetRect(&normal, monitor.rcWork.left - monitor.rcMonitor.left,
                       monitor.rcWork.top - monitor.rcMonitor.top);
        return toRect(normal);
    }
    RECT r{};
    GetWindowRect(window, &r);
    return toRect(r);
}

} // namespace lumacore
