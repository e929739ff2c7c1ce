#include "listen/capture_choice.h"

#include <stdexcept>

#include "listen/app_match.h"
#include "listen/pulse_capture.h"

namespace lumacore::cli {

SoundApi soundApiNamed(const std::string& name) {
    if (name == "auto") return SoundApi::Automatic;
    if (name == "pulse") return SoundApi::Pulse;
    if (name == "pipewire") return SoundApi::PipeWire;
    throw std::invalid_argument("--sound-api takes auto, pulse or pipewire, not '" +
                                shownEscaped(name) + "'");
}

std::unique_ptr<SoundCapture> openCapture(SoundApi api, const CaptureTarget& target) {
    if (api == SoundApi::PipeWire)
        throw CaptureError("PipeWire's own API is not built into this lumacore");
    return std::make_unique<PulseCapture>(target);
}

} // namespace lumacore::cli
