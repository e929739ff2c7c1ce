// Which way `listen` records a sound server: PulseAudio's API (PulseAudio itself, or PipeWire's
// pulse server) or PipeWire's own.
#pragma once

#include <memory>
#include <string>

#include "listen/sound_capture.h"

namespace lumacore::cli {

enum class SoundApi { Automatic, Pulse, PipeWire };

// "auto", "pulse" or "pipewire"; throws std::invalid_argument for anything else.
SoundApi soundApiNamed(const std::string& name);

// Which API `api` means here: Automatic takes PipeWire's own where its socket answers, else
// PulseAudio's.
SoundApi chosenSoundApi(SoundApi api);
// For messages: "PipeWire" or "PulseAudio's API".
std::string soundApiName(SoundApi api);

// Starts recording `target` the way `api` says; Automatic takes PipeWire's own API where its
// socket answers, PulseAudio's otherwise. Throws CaptureError as the captures do.
std::unique_ptr<SoundCapture> openCapture(SoundApi api, const CaptureTarget& target);

} // namespace lumacore::cli
