// Writes what the analyser makes of a sound into a frames file (docs/frames-format.md), the
// recording that `lumacore analyse` produces and `vishost --frames` plays into a plug-in.
#pragma once

#include <string>

#include "audio/audio_source.h"
#include "frames/frames_file.h"

namespace lumacore::cli {

// The frame rate as the fraction a frames file stores: the closest fraction with a denominator
// up to 10000, which is exact for whole rates, for 30000/1001 and the like, and for decimals
// such as 12.5. Throws std::invalid_argument for a rate that is not a positive number.
FrameRate frameRateFraction(double callsPerSecond);

// Analyses the whole of `source` at `callsPerSecond` and writes every call's rows, timed in
// microseconds. The file appears under `path` only when complete: it is written beside it under
// a unique hidden temporary name (TemporaryFile: no other file is ever touched), renamed at the
// end, and removed on failure or on an interrupting signal once installInterruptCleanup() has
// run, so an existing file survives a failed run. Throws AudioError (the sound), FramesError (the
// file, or a rate the format does not allow) or std::invalid_argument (the rate).
void writeFramesFile(AudioSource& source, double callsPerSecond, const std::string& path);

} // namespace lumacore::cli
