#include "scope/win32/scope_window.h"

#include <windows.h>

namespace lumacore {

// The scope window is not built yet: Init says so and fails, so a player never renders it.
void scopeConfig(winampVisModule*) {}

int scopeInit(winampVisModule* module) {
    MessageBoxA(static_cast<HWND>(module->hwndParent), "This display is not available yet.",
                module->description, MB_OK);
    return 1;
}

void scopeQuit(winampVisModule*) {}
int oscilloscopeRender(winampVisModule*) {
    return 0;
}
int vuMeterRender(winampVisModule*) {
    return 0;
}

} // namespace lumacore
