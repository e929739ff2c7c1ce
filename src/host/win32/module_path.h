// The full file name of this library, as the settings file's location is derived from it.
#pragma once

#include <string>

#include "host/vis_module.h"

namespace lumacore {

// GetModuleFileNameA of the record's hDllInstance: into 260 characters, and the whole name when
// it is longer than those hold.
std::string moduleFileName(const winampVisModule& module);

} // namespace lumacore
