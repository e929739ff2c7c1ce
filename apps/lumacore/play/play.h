// `lumacore play`: the module live in a window, fed from the sound being heard now.
#pragma once

#include "play/play_options.h"

namespace lumacore::cli {

// Plays the list and returns the exit status: 0 when something was played, 1 when nothing in
// the list could be. Throws std::invalid_argument (bad options) or PlayError (no display) with a
// one-line message; a missing sound device is said in one line and the picture plays silent.
int runPlay(PlayOptions options);

} // namespace lumacore::cli
