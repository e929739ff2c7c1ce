// The desktop's sound, recorded through the PulseAudio API (PipeWire serves the same API through
// its pulse server): by default the monitor of the default sink, followed when the user switches
// the default sink, or any source by name. Stereo float frames at 44.1 kHz arrive on the
// library's own thread in fragments of about 10 ms and wait in a queue for the program's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumacore::cli {

// No server, an unknown source, a stream refused: one line.
class CaptureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct SoundSource {
    std::string name;
    std::string description;
};

struct SoundSources {
    std::vector<SoundSource> sources;
    std::string defaultSource;      // the server's default source
    std::string defaultSinkMonitor; // the monitor of its default sink: what the desktop plays
};

// The server this process would talk to, for messages: $PULSE_SERVER or "the default server".
std::string soundServerName();

class PulseCapture {
  public:
    static constexpr int kSampleRate = 44100;

    // Connects to the server and starts recording `source` (empty: the default sink's monitor,
    // followed). Throws CaptureError "no sound server: ..." when there is none, or naming the
    // source when the server has no such source.
    explicit PulseCapture(const std::string& source);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Every source of the server. Throws CaptureError when it has gone away.
    SoundSources sources();

    // Appends the frames captured since the last call to `frames` (interleaved stereo) and
    // returns how many there were.
    std::size_t take(std::vector<float>& frames);
    // Whether the server is still there; after it went away, reconnect() tries again.
    bool connected() const;
    // One attempt to connect again and record the same source; true when it worked.
    bool reconnect();
    // The description of the source being recorded ("Monitor of Built-in Audio").
    std::string description() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumacore::cli
