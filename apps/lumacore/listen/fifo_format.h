// The sound a FIFO carries, as MPD's fifo output names it: RATE:BITS:CHANNELS ("44100:16:2"),
// BITS being 8, 16, 24 (in 32-bit words), 32 or f (32-bit float), in the machine's byte order.
#pragma once

#include <string>

#include "audio/stereo_resampler.h"

namespace lumacore::cli {

struct FifoFormat {
    int rate = 44100;
    StereoResampler::Sample sample = StereoResampler::Sample::S16;
    int channels = 2;

    // Throws std::invalid_argument, one line naming what is wrong, for anything else (a rate
    // outside 8000..384000 Hz, other bits, channels outside 1..8).
    static FifoFormat parse(const std::string& text);
};

} // namespace lumacore::cli
