// The "Lumacore" video source: its registration record for obs_register_source.
#pragma once

#include <obs-module.h>

namespace lumacore::obs {

obs_source_info lumacoreSourceInfo();

} // namespace lumacore::obs
