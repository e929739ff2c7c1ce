#include "plugin_windows.h"

#include <commctrl.h>

namespace lumacore::vishost {
namespace {

constexpr const char* kDialogClass = "#32770";

bool isDialog(HWND hwnd) {
    return windowClassName(hwnd) == kDialogClass;
}

// Windows the system makes on every GUI thread, not the plug-in's.
bool isSystemHelper(HWND hwnd) {
    const std::string name = windowClassName(hwnd);
    return name == "IME" || name == "MSCTFIME UI";
}

struct Enumeration {
    const WindowScope* scope;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM lParam) {
    auto* enumeration = reinterpret_cast<Enumeration*>(lParam);
    const WindowScope& scope = *enumeration->scope;
    DWORD process = 0;
    const DWORD thread = GetWindowThreadProcessId(hwnd, &process);
    if (process != GetCurrentProcessId() || hwnd == scope.player || isSystemHelper(hwnd))
        return TRUE;
    if (thread == scope.visThread || GetWindow(hwnd, GW_OWNER) == scope.player)
        enumeration->found.push_back(hwnd);
    return TRUE;
}

std::string ownerRole(HWND owner, HWND player) {
    if (!owner) return "none";
    return owner == player ? "player" : "window";
}

} // namespace

std::string windowClassName(HWND hwnd) {
    char name[256] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::vector<HWND> pluginWindows(const WindowScope& scope) {
    Enumeration enumeration{&scope, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&enumeration));
    return enumeration.found;
}

HWND findPluginWindow(const WindowScope& scope) {
    HWND fallback = nullptr;
    for (HWND hwnd : pluginWindows(scope)) {
        if (!IsWindowVisible(hwnd) || isDialog(hwnd)) continue;
        const auto instance = reinterpret_cast<HMODULE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
        if (instance == scope.plugin) return hwnd;
        if (!fallback) fallback = hwnd;
    }
    return fallback;
}

HWND findDialog(const WindowScope& scope) {
    for (HWND hwnd : pluginWindows(scope))
        if (IsWindowVisible(hwnd) && isDialog(hwnd)) return hwnd;
    return nullptr;
}

namespace {

BOOL CALLBACK collectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

} // namespace

std::vector<HWND> childWindows(HWND parent) {
    std::vector<HWND> children;
    if (parent) EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

namespace {

std::string windowText(HWND hwnd) {
    char text[512] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

WindowSnapshot controlSnapshot(HWND control, HWND parent) {
    WindowSnapshot entry;
    entry.handle = reinterpret_cast<std::uintptr_t>(control);
    entry.role = "control";
    entry.className = windowClassName(control);
    entry.title = windowText(control);
    RECT rect{};
    GetWindowRect(control, &rect);
    entry.rect = {rect.left, rect.top, rect.right, rect.bottom};
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    entry.clientRect = {rect.left, rect.top, rect.right, rect.bottom};
    entry.clientWidth = rect.right - rect.left;
    entry.clientHeight = rect.bottom - rect.top;
    entry.style = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_STYLE));
    entry.exStyle = static_cast<std::uint32_t>(GetWindowLongA(control, GWL_EXSTYLE));
    entry.visible = IsWindowVisible(control) != FALSE;
    entry.parent = reinterpret_cast<std::uintptr_t>(parent);
    entry.controlId = GetDlgCtrlID(control);
    entry.ownerRole = "none";
    if (lstrcmpiA(entry.className.c_str(), "msctls_trackbar32") == 0)
        entry.value = static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0));
    else if (lstrcmpiA(entry.className.c_str(), "Button") == 0)
        entry.value = static_cast<int>(SendMessageA(control, BM_GETCHECK, 0, 0));
    return entry;
}

} // namespace

Snapshot takeSnapshot(const WindowScope& scope, const std::string& label, int frame) {
    Snapshot snapshot;
    snapshot.label = label;
    snapshot.frame = frame;
    const HWND window = findPluginWindow(scope);
    const HWND dialog = findDialog(scope);
    for (HWND hwnd : pluginWindows(scope)) {
        WindowSnapshot entry;
        entry.handle = reinterpret_cast<std::uintptr_t>(hwnd);
        entry.role = hwnd == window ? "window" : hwnd == dialog ? "dialog" : "other";
        entry.className = windowClassName(hwnd);
        entry.title = windowText(hwnd);
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        entry.rect = {rect.left, rect.top, rect.right, rect.bottom};
        RECT client{};
        GetClientRect(hwnd, &client);
        entry.clientWidth = client.right - client.left;
        entry.clientHeight = client.bottom - client.top;
        entry.style = static_cast<std::uint32_t>(GetWindowLongA(hwnd, GWL_STYLE));
        entry.exStyle = static_cast<std::uint32_t>(GetWindowLongA(hwnd, GWL_EXSTYLE));
        entry.visible = IsWindowVisible(hwnd) != FALSE;
        entry.topmost = (entry.exStyle & WS_EX_TOPMOST) != 0;
        entry.iconic = IsIconic(hwnd) != FALSE;
        const HWND owner = GetWindow(hwnd, GW_OWNER);
        entry.owner = reinterpret_cast<std::uintptr_t>(owner);
        entry.ownerRole = ownerRole(owner, scope.player);
        snapshot.windows.push_back(std::move(entry));
        for (HWND child : childWindows(hwnd))
            snapshot.windows.push_back(controlSnapshot(child, hwnd));
    }
    return snapshot;
}

} // namespace lumacore::vishost
