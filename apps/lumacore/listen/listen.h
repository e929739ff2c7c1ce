// `lumacore listen`: whatever the desktop plays, live in play's window.
#pragma once

#include <string>

#include "live/live_options.h"

namespace lumacore::cli {

struct ListenOptions : LiveOptions {
    std::string source; // empty: the default sink's monitor, followed
    bool listSources = false;
};

// Lists the sources, or listens until the window is closed or --duration has passed. Returns the
// exit status; throws CaptureError (no sound server, an unknown source: the list follows on
// standard error), PlayError (no display) or std::invalid_argument (bad options).
int runListen(ListenOptions options);

} // namespace lumacore::cli
