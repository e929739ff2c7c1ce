// What `listen` records from: a sound server (PulseAudio's API, or PipeWire's own) or a FIFO that
// a player writes. Every capture hands over stereo float frames at 44.1 kHz, the analysis's rate,
// which arrive on a thread of its own and wait in a queue for the program's thread, with the
// latency known for them.
//
// The program's thread never waits on the server once the capture runs: connecting again after
// the server went away happens on the capture's thread while the program asks how far it got.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "listen/app_match.h"

namespace lumacore::cli {

// No server, an unknown source, a stream refused, a FIFO that cannot be read: one line.
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

// Sound come in, from the capture's thread to a program's thread waiting for it. While the
// program's picture rests (it cannot change without sound), chunks of silence wake nobody: the
// first with sound ends the rest, wakes wait() and calls the waker given, which can wake a
// thread waiting for something else (a window's events).
class SoundArrival {
  public:
    // On the capture's thread: `floats` interleaved samples came in.
    void heard(const float* samples, std::size_t floats);
    // Waits until sound has come in since the last clear(), or `seconds` have passed.
    void wait(double seconds);
    // Before the program takes what came in.
    void clear();

    // What the first sound after a rest calls, on the capture's thread; empty: nothing. It must
    // return at once; it is called under this object's lock, so that once it is replaced the old
    // one is never called again.
    void setWaker(std::function<void()> waker);
    // The picture rests from now on. False, and no rest, when a chunk with sound has come in
    // since the last clear(): it is still to be taken.
    bool rest();
    // The rest is over (the program's thread woke); true when sound came since the last clear().
    bool endRest();
    // Whether a rest began since the last chunk with sound: a capture may then gather its sound
    // in longer fragments, waking less often, until sound comes.
    bool quiet();

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    bool fresh_ = false;   // a chunk since the last clear()
    bool audible_ = false; // a chunk with sound since the last clear()
    bool resting_ = false;
    bool quiet_ = false; // a rest since the last chunk with sound
    std::function<void()> waker_;
};

// The frames a capture has received and the program's thread not yet taken, interleaved stereo:
// at most `maxFrames`, the oldest let go beyond and counted.
struct FrameQueue {
    std::vector<float> samples; // appended to by the capture

    // Lets go of the oldest beyond `maxFrames`, after an append.
    void bound(std::size_t maxFrames);
    // Appends every frame to `out`, saying how many and how many were let go since the last take.
    void takeInto(std::vector<float>& out, CapturedFrames& taken);
    // Forgets everything (what came before the server went away is not drawn late).
    void clear();

  private:
    std::int64_t lost_ = 0;
};

class SoundCapture {
  public:
    static constexpr int kSampleRate = 44100;
    // The most frames that wait for the program's thread (30 s): a thread that stalls longer
    // loses the oldest of them, and is told how many.
    static constexpr std::size_t kMaxQueued = 30 * kSampleRate;
    // How long connecting may take before it counts as failed.
    static constexpr double kConnectSeconds = 5;

    virtual ~SoundCapture() = default;

    // Every source of the server (waiting at most kConnectSeconds). Throws CaptureError when it
    // has gone away or does not answer.
    virtual SoundSources sources() = 0;
    // Every stream the server plays, the same way.
    virtual std::vector<PlayingStream> streams() = 0;

    // Records another target from now on; returns at once.
    virtual void retarget(const CaptureTarget& target) = 0;
    // For an application: how many of its streams are recorded now (0: it plays nothing).
    virtual std::size_t appStreams() const = 0;
    // Empty, or one line to say once (the server cannot record one application's streams alone).
    virtual std::string takeNotice() = 0;

    // Appends the frames captured since the last call to `frames` (interleaved stereo).
    virtual CapturedFrames take(std::vector<float>& frames) = 0;
    // Waits until sound has come in since the last take(), or `seconds` have passed.
    virtual void waitForSound(double seconds) = 0;
    // The wake-up that take() clears and waitForSound() waits on, for a program whose picture
    // rests.
    virtual SoundArrival& arrival() = 0;

    enum class Link { Recording, Connecting, Away };
    // Whether the capture records, a new connection is under way, or the server is gone (after
    // a failed or timed-out attempt too). Never waits for the server.
    virtual Link link() = 0;
    // Starts connecting again to record the same target; returns at once (link() tells the rest).
    virtual void reconnect() = 0;
    // The description of what is recorded ("Monitor of Built-in Audio"), or the application's
    // name.
    virtual std::string description() const = 0;
};

} // namespace lumacore::cli
