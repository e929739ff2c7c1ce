// Random user actions for soak runs: on about one frame in four, something a restless user
// does to the plug-in's windows: keys (Tab, Escape and Enter among them), characters, mouse
// moves, timer ticks, resizes (down to nothing), moves, minimise and restore, commands with any
// id, Config, the open dialog's sliders and buttons, and now and then a close. Drawn from the
// caller's generator, so a seed repeats a run.
#pragma once

#include <optional>
#include <random>

#include "actions.h"
#include "plugin_windows.h"

namespace lumacore::vishost {

// The action for this frame, or none. Dialog actions name a control of the dialog open now.
std::optional<Action> randomAction(std::mt19937& random, const WindowScope& scope);

} // namespace lumacore::vishost
