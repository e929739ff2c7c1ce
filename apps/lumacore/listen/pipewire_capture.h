// The desktop's sound, recorded through PipeWire's own API: a capture stream of our own that the
// session manager leaves alone (node.autoconnect off), linked by us to what the target names:
// the default sink's monitor ports (linked again when the user switches the default sink), any
// node by name ("SINK.monitor" as the PulseAudio API calls a sink's monitor), or the output
// ports of one application's streams, whose sounds the capture's input ports mix. Those links
// follow the registry: streams that start, end or move, a default that changes.
//
// The stream runs at the graph's own rate with a small quantum (128 frames at 48 kHz), so that
// sound reaches the program within a few milliseconds; it is resampled once, here, to 44.1 kHz.
//
// The program's thread never waits on the server once the capture runs: connecting again after
// the server went away happens on PipeWire's thread while the program asks how far it got.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "listen/sound_capture.h"

namespace lumacore::cli {

// The socket PipeWire's own API reaches: $PIPEWIRE_REMOTE (in the runtime folder unless it is a
// path), else pipewire-0 in $PIPEWIRE_RUNTIME_DIR or $XDG_RUNTIME_DIR; empty when none is set.
std::string pipeWireSocket();
// Whether something listens on that socket.
bool pipeWireAnswers();

class PipeWireCapture final : public SoundCapture {
  public:
    // Connects and starts recording `target`, waiting at most kConnectSeconds. Throws
    // CaptureError "no sound server: ..." when PipeWire is not there or does not answer, or
    // naming the source when the graph has no such node.
    explicit PipeWireCapture(const CaptureTarget& target);
    ~PipeWireCapture() override;
    PipeWireCapture(const PipeWireCapture&) = delete;
    PipeWireCapture& operator=(const PipeWireCapture&) = delete;

    SoundSources sources() override;
    std::vector<PlayingStream> streams() override;
    void retarget(const CaptureTarget& target) override;
    std::size_t appStreams() const override;
    std::string takeNotice() override { return {}; } // PipeWire records any stream alone
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
