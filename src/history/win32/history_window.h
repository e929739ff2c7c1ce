// The spectrum-history display's life in the player: Init, Quit and Config.
#pragma once

#include "host/vis_module.h"

namespace lumacore {

int historyInit(winampVisModule* module);
void historyQuit(winampVisModule* module);
void historyConfig(winampVisModule* module);

} // namespace lumacore
