// `lumacore play`: the module live in a window, fed from the sound being heard now.
#pragma once

#include "play/play_options.h"

namespace lumacore::cli {

// Plays the list and returns the exit status: 1 when nothing could be played, when a single input
// could not be played to its end (as render fails on it: --start beyond its end, a file damaged
// part-way) or when the dump could not be written; otherwise 0, entries of a list that cannot be
// played being said in one line each and passed over. Throws
// std::invalid_argument (bad options) or PlayError (no display) with a one-line message; a missing
// sound device is said in one line and the picture plays silent.
int runPlay(PlayOptions options);

} // namespace lumacore::cli
