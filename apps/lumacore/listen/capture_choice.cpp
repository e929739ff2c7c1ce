#include "listen/capture_choice.h"

#include <stdexcept>

#include "listen/app_match.h"
#include "listen/pipewire_capture.h"
#include "listen/pulse_capture.h"

namespace lumacore::cli {

SoundApi soundApiNamed(const std::string& name) {
    if (name == "auto") return SoundApi::Automatic;
    if (name == "pulse") return SoundApi::Pulse;
    if (name == "pipewire") return SoundApi::PipeWire;
    throw std::invalid_argument("--sound-api takes auto, pulse or pipewire, not '" +
                                shownEscaped(name) + "'");
}

std::string soundApiName(SoundApi api) {
    return api == SoundApi::PipeWire ? "PipeWire" : "PulseAudio's API";
}

SoundApi chosenSoundApi(SoundApi api) {
    if (api != SoundApi::Automatic) return api;
    return pipeWireAnswers() ? SoundApi::PipeWire : SoundApi::Pulse;
}

std::unique_ptr<SoundCapture> openCapture(SoundApi api, const CaptureTarget& target) {
    if (chosenSoundApi(api) == SoundApi::PipeWire) return std::make_unique<PipeWireCapture>(target);
    return std::make_unique<PulseCapture>(target);
}

} // namespace lumacore::cli
