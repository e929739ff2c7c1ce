// The header and the three module records the player reads. The records live at fixed
// addresses for as long as the library is loaded; the player writes into them.
#pragma once

#include "host/vis_module.h"

namespace lumacore {

inline constexpr int kModuleCount = 3;

// Module record 0, 1 or 2 for index 0, 1 or 2; null for any other index.
winampVisModule* getModule(int index);

// The header that the export hands out.
winampVisHeader* visHeader();

} // namespace lumacore
