// The spectrum-history display's life in the player: its resizable window with the "Configure"
// and "Full Screen" buttons, full screen on Tab or Escape, the title banner every four seconds,
// and the Init, Render, Quit and Config callbacks of module 0.
#pragma once

#include <windows.h>

#include "host/vis_module.h"

namespace lumacore {

int historyInit(winampVisModule* module);
// The Render callback: one frame, holding the surface lock.
int historyWindowRender(winampVisModule* module);
void historyQuit(winampVisModule* module);
void historyConfig(winampVisModule* module);

LRESULT CALLBACK historyWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void toggleFullScreen();

} // namespace lumacore
