// The spectrum-history display's settings in "plugin.ini" beside this library.
#pragma once

#include "host/vis_module.h"

namespace lumacore {

// Reads the seven keys of module 0's section into the load's state, once per load.
void loadHistorySettings(const winampVisModule& module);
// Writes the seven keys of module 0's section from the load's state.
void saveHistorySettings(const winampVisModule& module);

} // namespace lumacore
