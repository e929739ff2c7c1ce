// The desktop's sound, recorded through the PulseAudio API (PipeWire serves the same API through
// its pulse server): by default the monitor of the default sink, followed when the user switches
// the default sink, or any source by name, or one application's streams alone (AppStreams).
// Stereo float frames at 44.1 kHz arrive on the library's own thread in fragments of about 2.5 ms
// and wait in a queue for the program's thread, with the latency the server reports for them.
//
// The program's thread never waits on the server once the capture runs: connecting again after
// the server went away happens on the library's thread while the program asks how far it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "listen/app_match.h"

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
    std::string defaultSinkMonitor; // the monitor of its default sink: what the desktop plays
};

// The server this process would talk to, for messages: $PULSE_SERVER or "the default server".
std::string soundServerName();

// What came in since the program last asked.
struct CapturedFrames {
    std::size_t frames = 0; // appended, interleaved stereo
    std::int64_t lost = 0;  // frames dropped before them: the queue was full (see kMaxQueued)
    double latency = 0;     // seconds: how long ago the newest was at the source (negative for a
                            // monitor whose sound is yet to be heard); 0 when not known
};

// What to record.
struct CaptureTarget {
    std::string source;           // a source by name; empty: the default sink's monitor, followed
    std::optional<AppChoice> app; // instead: the streams of this application alone
    bool operator==(const CaptureTarget&) const = default;
};

class PulseCapture {
  public:
    static constexpr int kSampleRate = 44100;
    // The most frames that wait for the program's thread (30 s): a thread that stalls longer
    // loses the oldest of them, and is told how many.
    static constexpr std::size_t kMaxQueued = 30 * kSampleRate;
    // How long connecting may take before it counts as failed.
    static constexpr double kConnectSeconds = 5;

    // Connects to the server and starts recording `target`, waiting at most kConnectSeconds (for
    // an application, until the server has said which streams it plays). Throws CaptureError
    // "no sound server: ..." when there is none or it does not answer, or naming the source when
    // the server has no such source.
    explicit PulseCapture(const CaptureTarget& target);
    ~PulseCapture();
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    // Every source of the server (waiting at most kConnectSeconds). Throws CaptureError when it
    // has gone away or does not answer.
    SoundSources sources();
    // Every stream the server plays, the same way.
    std::vector<PlayingStream> streams();

    // Records another target from now on; returns at once.
    void retarget(const CaptureTarget& target);
    const CaptureTarget& target() const;
    // For an application: how many of its streams are recorded now (0: it plays nothing).
    std::size_t appStreams() const;
    // Empty, or one line to say once (the server cannot record one application's streams alone).
    std::string takeNotice();

    // Appends the frames captured since the last call to `frames` (interleaved stereo).
    CapturedFrames take(std::vector<float>& frames);
    // Waits until sound has come in since the last take(), or `seconds` have passed.
    void waitForSound(double seconds);

    enum class Link { Recording, Connecting, Away };
    // Whether the stream records, a new connection is under way, or the server is gone (after a
    // failed or timed-out attempt too). Never waits for the server.
    Link link();
    // Starts connecting again to record the same source; returns at once (link() tells the rest).
    void reconnect();
    // The description of the source being recorded ("Monitor of Built-in Audio"), or the
    // application's name.
    std::string description() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace lumacore::cli
