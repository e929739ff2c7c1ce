#include "random_actions.h"

#include <string>
#include <vector>

#include <commctrl.h>

namespace lumacore::vishost {
namespace {

int uniform(std::mt19937& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

// A slider moved or a button pressed in the open dialog, as a user would.
std::optional<Action> dialogAction(std::mt19937& random, const WindowScope& scope) {
    const std::vector<HWND> controls = childWindows(findDialog(scope));
    if (controls.empty()) return parseAction("config");
    const HWND control = controls[uniform(random, 0, static_cast<int>(controls.size()) - 1)];
    const int id = GetDlgCtrlID(control);
    if (windowClassName(control) == TRACKBAR_CLASSA) {
        static const char* const codes[] = {"thumbtrack", "thumbposition", "pageup",  "pagedown",
                                            "lineup",     "linedown",      "endtrack"};
        return parseAction("slider:" + std::to_string(id) + ":" +
                           std::to_string(uniform(random, -50, 1200)) + ":" +
                           codes[uniform(random, 0, 6)]);
    }
    return parseAction("click:" + std::to_string(id));
}

// A command as a button of the plug-in's window sends it, or any command at all.
Action commandAction(std::mt19937& random, const WindowScope& scope) {
    const std::vector<HWND> buttons = childWindows(findPluginWindow(scope));
    if (!buttons.empty() && uniform(random, 0, 3) != 0)
        return parseAction("command:" +
                           std::to_string(GetDlgCtrlID(
                               buttons[uniform(random, 0, static_cast<int>(buttons.size()) - 1)])));
    return parseAction("command:" + std::to_string(uniform(random, 0, 0xFFFF)) + ":" +
                       std::to_string(uniform(random, 0, 3) == 0 ? uniform(random, 1, 0xFFFF) : 0));
}

} // namespace

std::optional<Action> randomAction(std::mt19937& random, const WindowScope& scope) {
    if (uniform(random, 0, 3) != 0) return std::nullopt;
    static const char* const keys[] = {"tab",  "escape", "enter", "space", "a", "f1",
                                       "left", "up",     "0x20",  "0x5B",  "z", "backspace"};
    const int pick = uniform(random, 0, 999);
    if (pick < 180) return parseAction(std::string("key:") + keys[uniform(random, 0, 11)]);
    if (pick < 240) return parseAction("keydown:" + std::to_string(uniform(random, 1, 254)));
    if (pick < 300) return parseAction("keyup:" + std::to_string(uniform(random, 1, 254)));
    if (pick < 400) return parseAction("char:" + std::to_string(uniform(random, 0, 255)));
    if (pick < 520)
        return parseAction("mouse:" + std::to_string(uniform(random, -200, 3000)) + "," +
                           std::to_string(uniform(random, -200, 3000)));
    if (pick < 600) return parseAction("timer");
    if (pick < 680) {
        // Sizes from nothing to larger than the screen, small ones often.
        const int limit = uniform(random, 0, 1) ? 40 : 2400;
        return parseAction("resize:" + std::to_string(uniform(random, 0, limit)) + "," +
                           std::to_string(uniform(random, 0, limit)));
    }
    if (pick < 710)
        return parseAction("move:" + std::to_string(uniform(random, -500, 2000)) + "," +
                           std::to_string(uniform(random, -500, 2000)));
    if (pick < 740) return parseAction("minimise");
    if (pick < 780) return parseAction("restore");
    if (pick < 800) return parseAction("invalidate");
    if (pick < 880) return commandAction(random, scope);
    if (pick < 900) return parseAction("config");
    if (pick < 998) return dialogAction(random, scope);
    return parseAction("close");
}

} // namespace lumacore::vishost
