// The one check of a sample rate that every source makes of the rate it is asked for.
#include "audio/audio_source.h"

namespace lumacore::cli {

void checkSampleRate(int rate, const std::string& what) {
    if (!sampleRateInRange(rate))
        throw AudioError(what + ": sample rate " + std::to_string(rate) + " Hz is outside " +
                         std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate));
}

} // namespace lumacore::cli
