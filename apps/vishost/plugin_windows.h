// The plug-in's windows as the host finds them: top-level windows of this process that the
// module's thread created or that the player window owns, other than the player window itself.
// "The plug-in's window" is the visible one that is not a dialog, preferring windows of the
// plug-in's own instance; "the dialog" is the visible window of class #32770 among them.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "report.h"

namespace lumacore::vishost {

struct WindowScope {
    DWORD visThread = 0;
    HWND player = nullptr;
    HMODULE plugin = nullptr;
};

std::vector<HWND> pluginWindows(const WindowScope& scope);
HWND findPluginWindow(const WindowScope& scope);
HWND findDialog(const WindowScope& scope);
// Every descendant window of `parent` (none for a null parent).
std::vector<HWND> childWindows(HWND parent);

Snapshot takeSnapshot(const WindowScope& scope, const std::string& label, int frame);

std::string windowClassName(HWND hwnd);

} // namespace lumacore::vishost
