// `lumacore listen`: whatever the desktop plays, live in play's window.
#pragma once

#include <string>

#include "live/live_options.h"

namespace lumacore::cli {

struct ListenOptions : LiveOptions {
    std::string source; // empty: the default sink's monitor, followed
    bool listSources = false;
    std::string app;           // --app NAME|PID: that application's streams alone
    bool followPlayer = false; // the streams of the media player shown in the banner
    bool listApps = false;
    std::string soundApi = "auto"; // --sound-api auto|pulse|pipewire
    std::string fifo;              // --fifo PATH: raw PCM a player writes, instead of a server
    std::string fifoFormat = "44100:16:2"; // --fifo-format RATE:BITS:CHANNELS
};

// Lists the sources or the applications playing, or listens until the window is closed or
// --duration has passed. Returns the exit status; throws CaptureError (no sound server, an
// unknown source: the list follows on standard error), PlayError (no display) or
// std::invalid_argument (bad options).
int runListen(ListenOptions options);

} // namespace lumacore::cli
