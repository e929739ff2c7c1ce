// A real sound server for one test, recordings of what reaches its sink and sounds played into
// its sinks. The server is PulseAudio, or PipeWire with its session manager (WirePlumber) and its
// PulseAudio protocol server (pipewire-pulse) on a D-Bus session bus of their own; either runs in
// a private runtime folder with one null sink as the default (and more when asked). While it
// lives, PULSE_SERVER and XDG_RUNTIME_DIR point every child the test starts at it, and
// PULSE_CLIENTCONFIG keeps them from starting a server of their own.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "session_bus.h"

namespace lumacore::cli::test {

class SoundServer {
  public:
    enum class Kind { PulseAudio, PipeWire };
    static constexpr Kind kKinds[] = {Kind::PulseAudio, Kind::PipeWire};

    // Whether the programs this kind needs are there (tests skip without them).
    static bool installed(Kind kind = Kind::PulseAudio);
    // Those programs, by name.
    static std::vector<std::string> programs(Kind kind);
    // "PulseAudio" or "PipeWire".
    static std::string name(Kind kind);

    // Starts the server with a null sink `sink` and waits until it answers and that sink is the
    // default. On PipeWire every program is running and the session manager has made its choice.
    explicit SoundServer(const std::string& sink = "lumacore_test", Kind kind = Kind::PulseAudio);
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Empty when the server answers; otherwise one line saying why it does not.
    const std::string& problem() const { return problem_; }
    Kind kind() const { return kind_; }
    const std::string& sink() const { return sink_; }
    std::string monitor() const { return sink_ + ".monitor"; }
    // The value of PULSE_SERVER that reaches it.
    std::string address() const;

    // Adds a null sink `name` (not the default); false, with problem() saying why, when it fails.
    bool addSink(const std::string& name);
    // Adds a source `name` that records what is written into the FIFO `fifo` (which the server
    // makes): stereo float frames at 44.1 kHz. False, with problem() saying why, when it fails.
    bool addPipeSource(const std::string& name, const std::filesystem::path& fifo);
    // Makes `name` the default sink, and waits until the server says it is; false, with problem()
    // saying why, when the server refused or did not.
    bool setDefaultSink(const std::string& name);
    // Keeps playing stream `stream` (the server's number) on `sink` when the default sink changes,
    // as a user's move of it would: the server moves only streams nobody put on a sink by hand,
    // and a move onto the default sink counts as none. Each move is done when the stream plays
    // into the sink. False, with problem() saying why, when the server refused or did not move it.
    bool keepOnSink(const std::string& stream, const std::string& sink);
    // The playing stream (sink input) whose application.process.id is `pid`: its number, or
    // empty when there is none.
    std::string streamOf(pid_t pid) const;
    // The properties of playing stream `stream` (application.name, media.name, ...) as the
    // server lists them; empty when there is no such stream.
    std::map<std::string, std::string> streamProperties(const std::string& stream) const;
    // The streams that record from the server (source outputs, PipeWire's own clients' too), each
    // with its properties as the server lists them (node.name, client.api, ...) and its format
    // as "sample.specification" ("float32le 2ch 48000Hz").
    std::vector<std::map<std::string, std::string>> recordingStreams() const;
    // PipeWire's own socket (its clients' other way in than address()).
    std::filesystem::path nativeSocket() const { return folder_ / "pipewire-0"; }
    // The processes of the server, while it runs.
    std::vector<pid_t> processes() const;
    // Kills the server at once, as a crash would: its clients lose it, its socket stays behind.
    // On PipeWire all three programs go; the private bus stays.
    void kill();
    // Starts it again on the same socket with the same sinks (the first the default); false, with
    // problem() saying why, when it does not answer.
    bool restart();

  private:
    struct Program {
        std::string name;
        std::unique_ptr<ChildProcess> process;
    };

    bool start();
    bool startProgram(const std::vector<std::string>& argv, const EnvironmentChanges& changes);
    bool running();
    std::filesystem::path log(const std::string& program) const;
    // The properties of each playing stream, by its number.
    std::map<std::string, std::map<std::string, std::string>> streams() const;
    bool loadSink(const std::string& name);
    bool moveStream(const std::string& stream, const std::string& sink);
    EnvironmentChanges client() const; // what reaches this server, before it is exported
    void exportTo(const char* name, const std::string& value);

    Kind kind_;
    std::string sink_;
    std::vector<std::string> addedSinks_;
    std::string defaultSink_;
    std::filesystem::path folder_;
    std::unique_ptr<SessionBus> bus_; // PipeWire's
    // In the order started: pulseaudio, or pipewire, wireplumber and pipewire-pulse.
    std::vector<Program> programs_;
    std::string problem_;
    std::vector<std::pair<std::string, std::optional<std::string>>> replaced_;
};

// The kind's name, for the names and messages of tests that run on each.
inline std::ostream& operator<<(std::ostream& out, SoundServer::Kind kind) {
    return out << SoundServer::name(kind);
}

// What reaches the server's sink from now until stop(), as parec writes it to a WAV file.
class Recording {
  public:
    // Starts recording the sink's monitor into `file` and waits until sound arrives.
    Recording(const SoundServer& server, const std::filesystem::path& file);
    // The same for any source of the server the environment names; with `stream`, a sink's
    // monitor records that playing stream of the sink alone (parec --monitor-stream), from the
    // moment its sound arrives.
    Recording(const std::string& source, const std::filesystem::path& file,
              const std::string& stream = "");
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Empty while the recording runs or ended well; otherwise one line saying what went wrong.
    const std::string& problem() const { return problem_; }
    // Waits until `seconds` more sound than so far has arrived; false when it did not in time.
    bool waitForMore(double seconds);
    // Ends the recording; the file is then complete.
    void stop();
    // The recorded samples, interleaved, as floats from -1 to 1 (after stop()).
    std::vector<float> samples() const;
    int channels() const { return 2; }
    int sampleRate() const { return 44100; }

  private:
    double recordedSeconds() const;
    bool soundArrived() const; // a sample above silence is in the file

    std::filesystem::path file_;
    std::unique_ptr<ChildProcess> parec_;
    std::string problem_;
};

// A sound server that takes connections at `socket` and never answers them, as a hung or far
// away one would; PULSE_SERVER=address() points a client at it.
class HungServer {
  public:
    explicit HungServer(const std::filesystem::path& socket);
    ~HungServer();
    HungServer(const HungServer&) = delete;
    HungServer& operator=(const HungServer&) = delete;

    // Empty when it listens; otherwise one line saying why not.
    const std::string& problem() const { return problem_; }
    std::string address() const { return "unix:" + socket_.string(); }

  private:
    std::filesystem::path socket_;
    int fd_ = -1;
    std::string problem_;
};

// A sine written into a FIFO (a pipe source's, or one `listen --fifo` reads) as a player or a
// source that delivers in bursts would: `burst` seconds of it at once, every `burst` seconds of
// the wall clock, on a thread of its own, until this object goes. The FIFO is opened once a
// reader has it open.
class BurstFeeder {
  public:
    struct Sound {
        double frequency = 1000;
        double amplitude = 0.02;
        int rate = 44100;
        int channels = 2;
        bool s16 = false; // 16-bit integers, else 32-bit floats
    };
    BurstFeeder(const std::filesystem::path& fifo, const Sound& sound, double burst);
    BurstFeeder(const std::filesystem::path& fifo, double frequency, double amplitude, double burst)
        : BurstFeeder(fifo, Sound{frequency, amplitude}, burst) {}
    ~BurstFeeder();
    BurstFeeder(const BurstFeeder&) = delete;
    BurstFeeder& operator=(const BurstFeeder&) = delete;

    // Writes nothing from the next burst on; with `close`, closes the FIFO too, as a player
    // pausing does.
    void pause(bool close);
    // Writes again (opening the FIFO again when it was closed), from now on a sine of
    // `frequency`.
    void resume(double frequency);
    // Empty while it feeds; otherwise one line saying why it stopped.
    std::string problem() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// `paplay` playing a WAV file into one sink of the server, from the moment its sound reaches the
// sink's monitor until the end of the file or of this object. It asks for a short latency, so
// that the null sink passes its sound on in fragments of a few milliseconds rather than seconds.
class Playback {
  public:
    static bool installed();

    // Plays `file` into `sink`, where it stays when the default sink changes; the stream's
    // application.name is `client` when given (paplay's own otherwise).
    Playback(SoundServer& server, const std::filesystem::path& file, const std::string& sink,
             const std::string& client = "");
    ~Playback();
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Empty once the server plays the stream; otherwise one line saying why it does not.
    const std::string& problem() const { return problem_; }
    // The server's number for the stream (its sink input), once it plays.
    const std::string& stream() const { return stream_; }
    pid_t pid() const { return paplay_ ? paplay_->pid() : -1; }

  private:
    std::unique_ptr<ChildProcess> paplay_;
    std::string stream_;
    std::string problem_;
};

// A stream that a process plays into a sink: the server's number for it, or the problem.
struct PlayingStream {
    std::string stream;
    std::string problem; // empty once its sound reaches the sink's monitor
};

// Waits until process `pid` plays `file` into `sink` and its sound reaches the sink's monitor,
// and keeps the stream on `sink` when the default sink changes. `playing` says whether the
// process is still there.
PlayingStream awaitPlaying(SoundServer& server, pid_t pid, const std::filesystem::path& file,
                           const std::string& sink, const std::function<bool()>& playing);

} // namespace lumacore::cli::test
