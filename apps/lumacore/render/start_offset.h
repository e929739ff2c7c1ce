// A sound that starts some seconds into another: the samples before are read and dropped.
#pragma once

#include <memory>

#include "audio/audio_source.h"

namespace lumacore::cli {

std::unique_ptr<AudioSource> startingAt(std::unique_ptr<AudioSource> source, double seconds);

} // namespace lumacore::cli
