#include "actions.h"

#include <commctrl.h>

#include "capture.h"
#include "host/vis_module.h"
#include "options.h"
#include "plugin_windows.h"

namespace lumacore::vishost {
namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named kKeyNames[] = {
    {"backspace", VK_BACK}, {"tab", VK_TAB},     {"enter", VK_RETURN},    {"return", VK_RETURN},
    {"escape", VK_ESCAPE},  {"esc", VK_ESCAPE},  {"space", VK_SPACE},     {"pageup", VK_PRIOR},
    {"pagedown", VK_NEXT},  {"end", VK_END},     {"home", VK_HOME},       {"left", VK_LEFT},
    {"up", VK_UP},          {"right", VK_RIGHT}, {"down", VK_DOWN},       {"insert", VK_INSERT},
    {"delete", VK_DELETE},  {"shift", VK_SHIFT}, {"control", VK_CONTROL}, {"alt", VK_MENU},
};

constexpr Named kScrollCodes[] = {
    {"lineup", TB_LINEUP},
    {"linedown", TB_LINEDOWN},
    {"pageup", TB_PAGEUP},
    {"pagedown", TB_PAGEDOWN},
    {"thumbposition", TB_THUMBPOSITION},
    {"thumbtrack", TB_THUMBTRACK},
    {"top", TB_TOP},
    {"bottom", TB_BOTTOM},
    {"endtrack", TB_ENDTRACK},
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int parseKey(const std::string& text, const std::string& what) {
    std::string lower;
    for (char c : text)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const Named& key : kKeyNames)
        if (lower == key.name) return key.value;
    if (lower.size() == 1 && lower[0] >= 'a' && lower[0] <= 'z') return lower[0] - 'a' + 'A';
    if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f' && isDigit(lower[1])) {
        const int n = parseNumber(lower.substr(1), what);
        if (n >= 1 && n <= 24) return VK_F1 + n - 1;
    }
    if (text.empty() || (!isDigit(text[0]) && text[0] != '-'))
        throw UsageError(what + ": unknown key '" + text + "'");
    return parseNumber(text, what, 1, 254);
}

int parseChar(const std::string& text, const std::string& what) {
    if (text.size() == 1 && !isDigit(text[0])) return static_cast<unsigned char>(text[0]);
    return parseNumber(text, what, 0, 0xFFFF);
}

int parseScrollCode(const std::string& text, const std::string& what) {
    for (const Named& code : kScrollCodes)
        if (text == code.name) return code.value;
    if (text.empty() || !isDigit(text[0]))
        throw UsageError(what + ": unknown scroll code '" + text + "'");
    return parseNumber(text, what, 0, 0xFFFF);
}

// "X,Y" or "W,H".
void parsePair(const std::string& text, const std::string& what, int& a, int& b, long long min) {
    const std::vector<std::string> parts = split(text, ',');
    if (parts.size() != 2) throw UsageError(what + ": expected two numbers as A,B");
    a = parseNumber(parts[0], what, min, 65535);
    b = parseNumber(parts[1], what, min, 65535);
}

bool isExtendedKey(int vk) {
    return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE ||
           vk == VK_DIVIDE || vk == VK_NUMLOCK || vk == VK_RCONTROL || vk == VK_RMENU ||
           vk == VK_LWIN || vk == VK_RWIN || vk == VK_APPS;
}

std::string keyMessages(const Action& action, HWND window, ActionTarget& target) {
    const WPARAM vk = static_cast<WPARAM>(action.first);
    switch (action.kind) {
    case ActionKind::KeyDown:
        PostMessageA(window, WM_KEYDOWN, vk, keyLParam(action.first, false));
        break;
    case ActionKind::KeyUp:
        PostMessageA(window, WM_KEYUP, vk, keyLParam(action.first, true));
        break;
    case ActionKind::Key:
        // The press goes through the loop first, where TranslateMessage makes its WM_CHAR.
        PostMessageA(window, WM_KEYDOWN, vk, keyLParam(action.first, false));
        if (target.pump) target.pump();
        PostMessageA(window, WM_KEYUP, vk, keyLParam(action.first, true));
        break;
    default: {
        const SHORT key = VkKeyScanA(static_cast<char>(action.first));
        const UINT scan = key == -1 ? 0 : MapVirtualKeyA(key & 0xFF, MAPVK_VK_TO_VSC);
        PostMessageA(window, WM_CHAR, static_cast<WPARAM>(action.first),
                     static_cast<LPARAM>(1 | (scan & 0xFF) << 16));
    }
    }
    return "";
}

std::string resize(HWND window, int width, int height) {
    RECT rect{0, 0, width, height};
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&rect, style, GetMenu(window) != nullptr, exStyle);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(window, &client);
    if (client.right != width || client.bottom != height)
        return "the client area became " + std::to_string(client.right) + "x" +
               std::to_string(client.bottom);
    return "";
}

std::string dump(const Action& action, HWND target, ActionTarget& where, const WindowScope& scope) {
    const bool dialog = action.kind == ActionKind::DumpDialog;
    if (where.snapshots)
        where.snapshots->push_back(
            takeSnapshot(scope, (dialog ? "dump-dialog:" : "dump:") + action.path, where.frame));
    DumpRecord record;
    record.frame = where.frame;
    record.path = action.path;
    record.dialog = dialog;
    if (!target) {
        record.error = dialog ? "no open dialog" : "no plug-in window";
    } else {
        const Image image = captureClient(target, &record.error);
        if (record.error.empty()) {
            record.width = image.width;
            record.height = image.height;
            record.error = writeImage(action.path, image);
        }
    }
    if (where.dumps) where.dumps->push_back(record);
    return record.error;
}

} // namespace

LPARAM keyLParam(int vk, bool release) {
    const UINT scan = MapVirtualKeyA(static_cast<UINT>(vk), MAPVK_VK_TO_VSC) & 0xFF;
    DWORD value = 1 | scan << 16;
    if (isExtendedKey(vk)) value |= 1u << 24;
    if (release) value |= 3u << 30;
    return static_cast<LPARAM>(value);
}

Action parseAction(const std::string& text) {
    Action action;
    action.text = text;
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
    const bool hasRest = colon != std::string::npos;
    const std::vector<std::string> args = hasRest ? split(rest, ':') : std::vector<std::string>{};
    const std::string what = "action " + text;
    const auto need = [&](std::size_t min, std::size_t max) {
        if (args.size() < min || args.size() > max)
            throw UsageError(what + ": wrong number of arguments");
    };

    if (name == "keydown" || name == "keyup" || name == "key") {
        need(1, 1);
        action.kind = name == "keydown" ? ActionKind::KeyDown
                      : name == "keyup" ? ActionKind::KeyUp
                                        : ActionKind::Key;
        action.first = parseKey(args[0], what);
    } else if (name == "char") {
        if (rest == ":") { // char:: is the colon itself
            action.kind = ActionKind::Char;
            action.first = ':';
            return action;
        }
        need(1, 1);
        action.kind = ActionKind::Char;
        action.first = parseChar(args[0], what);
    } else if (name == "command") {
        need(1, 2);
        action.kind = ActionKind::Command;
        action.first = parseNumber(args[0], what, 0, 0xFFFF);
        action.second = args.size() > 1 ? parseNumber(args[1], what, 0, 0xFFFF) : 0;
    } else if (name == "timer") {
        need(0, 1);
        action.kind = ActionKind::Timer;
        action.first = args.empty() ? 1 : parseNumber(args[0], what, 0);
    } else if (name == "mouse") {
        need(1, 1);
        action.kind = ActionKind::Mouse;
        parsePair(args[0], what, action.first, action.second, -32768);
    } else if (name == "resize") {
        need(1, 1);
        action.kind = ActionKind::Resize;
        parsePair(args[0], what, action.first, action.second, 0);
    } else if (name == "move") {
        need(1, 1);
        action.kind = ActionKind::Move;
        parsePair(args[0], what, action.first, action.second, -32768);
    } else if (name == "minimise" || name == "minimize" || name == "restore" || name == "close" ||
               name == "config" || name == "invalidate") {
        need(0, 0);
        action.kind = name == "restore"      ? ActionKind::Restore
                      : name == "close"      ? ActionKind::Close
                      : name == "config"     ? ActionKind::Config
                      : name == "invalidate" ? ActionKind::Invalidate
                                             : ActionKind::Minimise;
    } else if (name == "slider") {
        need(2, 3);
        action.kind = ActionKind::Slider;
        action.first = parseNumber(args[0], what, 0, 0xFFFF);
        action.second = parseNumber(args[1], what);
        action.third = args.size() > 2 ? parseScrollCode(args[2], what) : TB_THUMBPOSITION;
    } else if (name == "click") {
        need(1, 1);
        action.kind = ActionKind::Click;
        action.first = parseNumber(args[0], what, 0, 0xFFFF);
    } else if (name == "dump" || name == "dump-dialog") {
        if (rest.empty()) throw UsageError(what + ": needs a file name");
        action.kind = name == "dump" ? ActionKind::Dump : ActionKind::DumpDialog;
        action.path = rest; // may hold colons, as in C:\pictures\a.png
    } else {
        throw UsageError("unknown action '" + name + "'");
    }
    return action;
}

ScheduledAction parseScheduledAction(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) throw UsageError("--at " + text + ": expected K:ACTION");
    ScheduledAction scheduled;
    scheduled.frame = parseNumber(text.substr(0, colon), "--at " + text, 0);
    scheduled.action = parseAction(text.substr(colon + 1));
    return scheduled;
}

std::string applyAction(const Action& action, ActionTarget& target) {
    const WindowScope scope{target.visThread, target.player, target.plugin};
    switch (action.kind) {
    case ActionKind::Config:
        if (!target.module || !target.module->Config) return "the module has no Config";
        target.module->Config(target.module);
        return "";
    case ActionKind::Slider:
    case ActionKind::Click: {
        const HWND dialog = findDialog(scope);
        if (!dialog) return "no open dialog";
        const HWND control = GetDlgItem(dialog, action.first);
        if (!control) return "the dialog has no control " + std::to_string(action.first);
        if (action.kind == ActionKind::Click) {
            SendMessageA(control, BM_CLICK, 0, 0);
            return "";
        }
        SendMessageA(control, TBM_SETPOS, TRUE, action.second);
        const bool thumb = action.third == TB_THUMBPOSITION || action.third == TB_THUMBTRACK;
        SendMessageA(dialog, WM_HSCROLL,
                     MAKEWPARAM(action.third, thumb ? static_cast<WORD>(action.second) : 0),
                     reinterpret_cast<LPARAM>(control));
        return "";
    }
    case ActionKind::DumpDialog:
        return dump(action, findDialog(scope), target, scope);
    case ActionKind::Dump:
        return dump(action, findPluginWindow(scope), target, scope);
    default:
        break;
    }

    const HWND window = findPluginWindow(scope);
    if (!window) return "no plug-in window";
    switch (action.kind) {
    case ActionKind::KeyDown:
    case ActionKind::KeyUp:
    case ActionKind::Key:
    case ActionKind::Char:
        return keyMessages(action, window, target);
    case ActionKind::Command:
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(action.first, action.second),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, action.first)));
        return "";
    case ActionKind::Timer:
        PostMessageA(window, WM_TIMER, static_cast<WPARAM>(action.first), 0);
        return "";
    case ActionKind::Mouse:
        PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(action.first, action.second));
        return "";
    case ActionKind::Resize:
        return resize(window, action.first, action.second);
    case ActionKind::Move:
        // The outer top-left corner to (X, Y), as a user dragging the caption would.
        SetWindowPos(window, nullptr, action.first, action.second, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return "";
    case ActionKind::Invalidate:
        // The whole window uncovered: it repaints at once.
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        return "";
    case ActionKind::Minimise:
        ShowWindow(window, SW_MINIMIZE);
        return "";
    case ActionKind::Restore:
        ShowWindow(window, SW_RESTORE);
        return "";
    case ActionKind::Close:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return "";
    default:
        return "unhandled action";
    }
}

} // namespace lumacore::vishost
