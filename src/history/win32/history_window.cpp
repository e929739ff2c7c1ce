#include "history/win32/history_window.h"

#include <windows.h>

namespace lumacore {

// The display window is not built yet: Init says so and fails, so a player never renders it.
int historyInit(winampVisModule* module) {
    MessageBoxA(static_cast<HWND>(module->hwndParent), "This display is not available yet.",
                "Error", MB_OK);
    return 1;
}

void historyQuit(winampVisModule*) {}

void historyConfig(winampVisModule*) {}

} // namespace lumacore
