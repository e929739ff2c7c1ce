// One run of a visualisation module, driven the way a player drives it: load the library, fill
// the record's hwndParent, hDllInstance, sRate, nCh and data rows, call Init, then frame after
// frame pump the thread's messages, fill the rows and call Render, and at the end call Quit
// (never after a failed Init). The player window answers the playlist queries and records
// what it receives; message boxes are redirected so that nothing blocks.
//
// Per frame K (0-based): the actions scheduled for K (each followed by a pump), a pump, the
// frame's data, Render, then the module's delayMs unless told not to wait. The loop ends on
// WM_QUIT, on Render returning non-zero, when the frames file ends, or after --count frames;
// actions scheduled for the frame after the last one still run when the loop ends by count or
// by the end of the frames. Then a snapshot of the windows ("end"), Quit, and a last pump.
#pragma once

#include <string>

#include "options.h"
#include "report.h"

namespace lumacore::vishost {

// Runs the module as `options` say. Problems of the plug-in, the frames or the actions are in
// the report (errors, action and dump records), never thrown.
Report runSession(const Options& options);

// What main() returns for a finished run: 0 when Init succeeded and nothing failed, 1 when Init
// failed, a frames file broke off or an action or dump failed, 3 when nothing ran (the plug-in,
// module or frames file could not be opened).
int exitCodeFor(const Report& report);

} // namespace lumacore::vishost
