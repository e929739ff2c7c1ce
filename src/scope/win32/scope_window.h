// The oscilloscope's and the VU meter's shared window: a small fixed-size window at the saved
// position, grey on every paint, keys passed on to the player; the About box as Config; and the
// two Render callbacks on the window's surface.
#pragma once

#include <windows.h>

#include "host/vis_module.h"

namespace lumacore {

void scopeConfig(winampVisModule* module);
int scopeInit(winampVisModule* module);
void scopeQuit(winampVisModule* module);
int oscilloscopeRender(winampVisModule* module);
int vuMeterRender(winampVisModule* module);

LRESULT CALLBACK scopeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace lumacore
