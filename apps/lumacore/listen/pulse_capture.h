// The desktop's sound, recorded through the PulseAudio API (PipeWire serves the same API through
// its pulse server): by default the monitor of the default sink, followed when the user switches
// the default sink, or any source by name, or one application's streams alone (AppStreams).
// Stereo float frames at 44.1 kHz arrive on the library's own thread in fragments of about 2.5 ms
// and wait in a queue for the program's thread, with the latency the server reports for them.
//
// The program's thread never waits on the server once the capture runs: connecting again after
// the server went away happens on the library's thread while the program asks how far it got.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "listen/sound_capture.h"

namespace lumacore::cli {

// The server this process would talk to, for messages: $PULSE_SERVER or "the default server".
std::string soundServerName();

class PulseCapture final : public SoundCapture {
  public:
    // Connects to the server and starts recording `target`, waiting at most kConnectSeconds (for
    // an application, until the server has said which streams it plays). Throws CaptureError
    // "no sound server: ..." when there is none or it does not answer, or naming the source when
    // the server has no such source.
    explicit PulseCapture(const CaptureTarget& target);
    ~PulseCapture() override;
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    SoundSources sources() override;
    std::vector<PlayingStream> streams() override;
    void retarget(const CaptureTarget& target) override;
    std::size_t appStreams() const override;
    std::string takeNotice() override;
    CapturedFrames take(std::vector<float>& frames) override;
    void waitForSound(double seconds) override;
    SoundArrival& arrival() override;
    Link link() override;
    void reconnect() override;
    std::string description() const override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumacore::cli
