// The oscilloscope's and the VU meter's shared window: Init, Quit, Config and their renderers.
#pragma once

#include "host/vis_module.h"

namespace lumacore {

void scopeConfig(winampVisModule* module);
int scopeInit(winampVisModule* module);
void scopeQuit(winampVisModule* module);
int oscilloscopeRender(winampVisModule* module);
int vuMeterRender(winampVisModule* module);

} // namespace lumacore
