// The server runs with its own runtime, home and configuration folders, so that nothing it writes
// (socket, cookie, state) outlives the folder removed at the end; it accepts any local client,
// whatever settings folder a test gives it.
#include "sound_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace lumacore::cli::test {
namespace {

constexpr double kStartSeconds = 15;
constexpr std::size_t kWavHeader = 44;
constexpr double kBytesPerSecond = 44100.0 * 2 * 2; // 16-bit stereo

std::string tail(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    return last;
}

std::uint32_t little32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Whether a server listens at the UNIX socket `path`.
bool accepts(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path) return false;
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The rows of `pactl list short WHAT`, split at its tabs.
std::vector<std::vector<std::string>> shortList(const std::string& what,
                                                const EnvironmentChanges& client) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(commandOutput({"pactl", "list", "short", what}, client).value_or(""));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string>& row = rows.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            row.push_back(field);
    }
    return rows;
}

// The properties of each entry in the output of `pactl list sink-inputs` (or `source-outputs`,
// with `heading` "Source Output #"), by its number: the lines `key = "value"` below its "Sink
// Input #N", and its sample specification as "sample.specification".
std::map<std::string, std::map<std::string, std::string>>
sinkInputs(const std::string& listing, const std::string& heading = "Sink Input #") {
    std::map<std::string, std::map<std::string, std::string>> streams;
    std::map<std::string, std::string>* current = nullptr;
    std::istringstream in(listing);
    const std::string specification = "\tSample Specification: ";
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(heading)) {
            current = &streams[line.substr(heading.size())];
            continue;
        }
        if (current && line.starts_with(specification))
            (*current)["sample.specification"] = line.substr(specification.size());
        const std::size_t equals = line.find(" = \"");
        if (!current || !line.starts_with("\t\t") || equals == std::string::npos ||
            !line.ends_with("\""))
            continue;
        (*current)[line.substr(2, equals - 2)] = line.substr(equals + 4, line.size() - equals - 5);
    }
    return streams;
}

} // namespace

std::vector<std::string> SoundServer::programs(Kind kind) {
    if (kind == Kind::PulseAudio) return {"pulseaudio", "pactl", "parec"};
    return {"pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon", "pactl", "parec"};
}

bool SoundServer::installed(Kind kind) {
    const std::vector<std::string> needed = programs(kind);
    return std::all_of(needed.begin(), needed.end(), onPath);
}

std::string SoundServer::name(Kind kind) {
    return kind == Kind::PulseAudio ? "PulseAudio" : "PipeWire";
}

SoundServer::SoundServer(const std::string& sink, Kind kind) : kind_(kind), sink_(sink) {
    char name[] = "/tmp/lumacore-pulse-XXXXXX"; // mkdtemp makes it 0700, as the servers want
    if (!::mkdtemp(name)) {
        problem_ = "cannot make a runtime folder for the sound server";
        return;
    }
    folder_ = name;
    // Clients never start a server of their own when this one is gone.
    std::ofstream(folder_ / "client.conf") << "autospawn = no\n";
    if (kind_ == Kind::PipeWire) {
        // The session manager leaves the machine's sound cards, cameras and Bluetooth alone: the
        // null sinks are the server's only devices.
        const std::filesystem::path config = folder_ / "config/wireplumber";
        std::filesystem::create_directories(config / "main.lua.d");
        std::filesystem::create_directories(config / "bluetooth.lua.d");
        std::ofstream(config / "main.lua.d/51-lumacore-test.lua")
            << "alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\n"
               "libcamera_monitor.enabled = false\n";
        std::ofstream(config / "bluetooth.lua.d/51-lumacore-test.lua")
            << "bluez_monitor.enabled = false\n";
        try {
            bus_ = std::make_unique<SessionBus>(SessionBus::Reach::Private);
        } catch (const std::runtime_error& error) {
            problem_ = error.what();
            return;
        }
        if (!bus_->started()) {
            problem_ = "dbus-daemon did not start for PipeWire";
            return;
        }
    }
    if (!start()) return;
    exportTo("PULSE_SERVER", address());
    exportTo("PULSE_CLIENTCONFIG", (folder_ / "client.conf").string());
    exportTo("XDG_RUNTIME_DIR", folder_.string());
}

bool SoundServer::startProgram(const std::vector<std::string>& argv,
                               const EnvironmentChanges& changes) {
    try {
        programs_.push_back({argv[0], std::make_unique<ChildProcess>(argv, changes, folder_,
                                                                     "/dev/null", log(argv[0]))});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return false;
    }
    return true;
}

bool SoundServer::running() {
    return std::all_of(programs_.begin(), programs_.end(),
                       [](const Program& program) { return program.process->running(); });
}

bool SoundServer::start() {
    EnvironmentChanges serverEnvironment = {{"XDG_RUNTIME_DIR", folder_.string()},
                                            {"HOME", folder_.string()},
                                            {"XDG_CONFIG_HOME", (folder_ / "config").string()},
                                            {"XDG_STATE_HOME", (folder_ / "state").string()},
                                            {"PULSE_SERVER", std::nullopt},
                                            {"DISPLAY", std::nullopt}};
    if (kind_ == Kind::PulseAudio) {
        if (!startProgram({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                           "--load=module-native-protocol-unix auth-anonymous=1",
                           "--load=module-null-sink sink_name=" + sink_},
                          serverEnvironment))
            return false;
    } else {
        serverEnvironment.insert({{"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
                                  {"PIPEWIRE_REMOTE", std::nullopt},
                                  {"PIPEWIRE_RUNTIME_DIR", std::nullopt},
                                  {"PULSE_RUNTIME_PATH", std::nullopt}});
        // Its clients connect once the core listens.
        if (!startProgram({"pipewire"}, serverEnvironment)) return false;
        if (!pollUntil([&] { return !running() || accepts(folder_ / "pipewire-0"); },
                       kStartSeconds) ||
            !running()) {
            problem_ = "PipeWire did not start: " + tail(log("pipewire"));
            return false;
        }
        if (!startProgram({"wireplumber"}, serverEnvironment) ||
            !startProgram({"pipewire-pulse"}, serverEnvironment))
            return false;
    }
    const bool answers = pollUntil(
        [&] {
            return !running() || commandOutput({"pactl", "info"}, client(), 5);
        },
        kStartSeconds);
    if (!answers || !running()) {
        // What the program that ended said last, or the one that should answer.
        const auto gone =
            std::find_if(programs_.begin(), programs_.end(),
                         [](const Program& program) { return !program.process->running(); });
        problem_ = "the sound server did not answer: " +
                   tail(log(gone == programs_.end() ? programs_.back().name : gone->name));
        return false;
    }
    if (kind_ == Kind::PipeWire && !loadSink(sink_)) return false;
    for (const std::string& added : addedSinks_)
        if (!loadSink(added)) return false;
    if (!setDefaultSink(sink_)) {
        problem_ = "cannot make " + sink_ + " the default sink";
        return false;
    }
    return true;
}

SoundServer::~SoundServer() {
    for (auto it = replaced_.rbegin(); it != replaced_.rend(); ++it) {
        if (it->second)
            ::setenv(it->first.c_str(), it->second->c_str(), 1);
        else
            ::unsetenv(it->first.c_str());
    }
    // The clients of the core first, then the core and its bus.
    for (auto program = programs_.rbegin(); program != programs_.rend(); ++program)
        program->process->stop();
    programs_.clear();
    bus_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::filesystem::path SoundServer::log(const std::string& program) const {
    return folder_ / (program + ".log");
}

std::string SoundServer::address() const {
    return "unix:" + (folder_ / "pulse/native").string();
}

EnvironmentChanges SoundServer::client() const {
    return {{"PULSE_SERVER", address()},
            {"PULSE_CLIENTCONFIG", (folder_ / "client.conf").string()},
            {"LC_ALL", "C"}}; // pactl's listings as read here
}

bool SoundServer::loadSink(const std::string& name) {
    if (commandOutput({"pactl", "load-module", "module-null-sink", "sink_name=" + name}, client()))
        return true;
    problem_ = "cannot add the null sink " + name;
    return false;
}

bool SoundServer::addSink(const std::string& name) {
    if (!loadSink(name)) return false;
    addedSinks_.push_back(name);
    return true;
}

bool SoundServer::addPipeSource(const std::string& name, const std::filesystem::path& fifo) {
    if (commandOutput({"pactl", "load-module", "module-pipe-source", "source_name=" + name,
                       "file=" + fifo.string(), "format=float32le", "rate=44100", "channels=2"},
                      client()))
        return true;
    problem_ = "cannot add the pipe source " + name;
    return false;
}

// PipeWire's session manager chooses the default sink after the request, in its own time, and
// until it has chosen a stream moved onto the sink named still counts as moved elsewhere; before
// it runs at all the request is refused.
bool SoundServer::setDefaultSink(const std::string& name) {
    std::optional<std::string> current;
    const bool set = pollUntil(
        [&] {
            if (!commandOutput({"pactl", "set-default-sink", name}, client())) return false;
            current = commandOutput({"pactl", "get-default-sink"}, client());
            return current == name + "\n";
        },
        kStartSeconds);
    if (set)
        defaultSink_ = name;
    else
        problem_ = "the default sink stayed " + current.value_or("unknown\n") + "not " + name;
    return set;
}

// A move is done when the stream plays into the sink: PipeWire's session manager links it there
// after pactl has returned. pipewire-pulse now and then takes a move for one onto the default
// sink, and so as none (the stream stays with the default), when the client that asks has only
// just connected; the move is asked for again until the stream plays where it should.
bool SoundServer::moveStream(const std::string& stream, const std::string& sink) {
    std::string index, now; // the sink's number, and that of the sink the stream plays into
    bool refused = false;
    const bool moved = pollUntil(
        [&] {
            for (const auto& row : shortList("sinks", client()))
                if (row.size() > 1 && row[1] == sink) index = row[0];
            for (const auto& row : shortList("sink-inputs", client()))
                if (row.size() > 1 && row[0] == stream) now = row[1];
            if (!index.empty() && now == index) return true;
            refused = !commandOutput({"pactl", "move-sink-input", stream, sink}, client());
            return false;
        },
        kStartSeconds);
    if (!moved)
        problem_ = refused ? "the server refused to move stream " + stream + " to " + sink
                           : "stream " + stream + " plays into sink #" + now + ", not " + sink +
                                 " (#" + index + ")";
    return moved;
}

bool SoundServer::keepOnSink(const std::string& stream, const std::string& sink) {
    const std::string spare = "lumacore_spare";
    if (std::find(addedSinks_.begin(), addedSinks_.end(), spare) == addedSinks_.end() &&
        !addSink(spare))
        return false;
    const std::string wasDefault = defaultSink_;
    if (wasDefault == sink && !setDefaultSink(spare)) return false;
    const bool moved = moveStream(stream, spare) && moveStream(stream, sink);
    return setDefaultSink(wasDefault) && moved;
}

std::map<std::string, std::map<std::string, std::string>> SoundServer::streams() const {
    return sinkInputs(commandOutput({"pactl", "list", "sink-inputs"}, client()).value_or(""));
}

std::string SoundServer::streamOf(pid_t pid) const {
    for (const auto& [stream, properties] : streams()) {
        const auto process = properties.find("application.process.id");
        if (process != properties.end() && process->second == std::to_string(pid)) return stream;
    }
    return "";
}

std::map<std::string, std::string> SoundServer::streamProperties(const std::string& stream) const {
    const auto all = streams();
    const auto found = all.find(stream);
    return found == all.end() ? std::map<std::string, std::string>{} : found->second;
}

std::vector<std::map<std::string, std::string>> SoundServer::recordingStreams() const {
    std::vector<std::map<std::string, std::string>> recording;
    const auto listed =
        sinkInputs(commandOutput({"pactl", "list", "source-outputs"}, client()).value_or(""),
                   "Source Output #");
    for (const auto& [number, properties] : listed)
        recording.push_back(properties);
    return recording;
}

std::vector<pid_t> SoundServer::processes() const {
    std::vector<pid_t> pids;
    for (const Program& program : programs_)
        pids.push_back(program.process->pid());
    if (bus_) pids.push_back(bus_->pid());
    return pids;
}

void SoundServer::kill() {
    for (auto program = programs_.rbegin(); program != programs_.rend(); ++program) {
        program->process->signal(SIGKILL);
        program->process->waitExit(kStartSeconds);
    }
    programs_.clear();
}

bool SoundServer::restart() {
    kill();
    problem_.clear();
    return start();
}

void SoundServer::exportTo(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    replaced_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
}
Recording::Recording(const SoundServer& server, const std::filesystem::path& file)
    : Recording(server.monitor(), file) {}

Recording::Recording(const std::string& source, const std::filesystem::path& file,
                     const std::string& stream)
    : file_(file) {
    std::vector<std::string> argv = {
        "parec",        "--device=" + source, "--file-format=wav", "--format=s16le",
        "--rate=44100", "--channels=2",       "--latency-msec=20"};
    if (!stream.empty()) argv.push_back("--monitor-stream=" + stream);
    argv.push_back(file_.string());
    // parec writes over an earlier file without shortening it, and its size is the progress.
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
    try {
        parec_ = std::make_unique<ChildProcess>(argv);
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    // A null sink's monitor gives silence while nothing plays, so sound arrives at once. One
    // stream of it on PulseAudio gives nothing, or silence, for up to a second or two after the
    // stream has started or moved; the stream's sound is its start.
    if (!pollUntil(
            [&] {
                return !parec_->running() ||
                       (stream.empty() ? recordedSeconds() >= 0.05 : soundArrived());
            },
            kStartSeconds) ||
        !parec_->running())
        problem_ =
            "parec recorded nothing from " + source + (stream.empty() ? "" : " of " + stream);
}

bool Recording::soundArrived() const {
    std::ifstream in(file_, std::ios::binary);
    in.seekg(kWavHeader);
    char bytes[2];
    while (in.read(bytes, 2)) {
        const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[0]) |
                                                      static_cast<unsigned char>(bytes[1]) << 8);
        if (std::abs(sample) > 64) return true; // -54 dB
    }
    return false;
}

Recording::~Recording() {
    stop();
}

double Recording::recordedSeconds() const {
    std::error_code error;
    const auto size = std::filesystem::file_size(file_, error);
    if (error || size < kWavHeader) return 0;
    return static_cast<double>(size - kWavHeader) / kBytesPerSecond;
}

bool Recording::waitForMore(double seconds) {
    const double target = recordedSeconds() + seconds;
    return pollUntil([&] { return recordedSeconds() >= target; }, seconds + kStartSeconds);
}

void Recording::stop() {
    if (!parec_) return;
    parec_->signal(SIGINT); // parec completes the file's header on SIGINT
    if (!parec_->waitExit(kStartSeconds)) problem_ = "parec did not stop";
    parec_.reset();
}

std::vector<float> Recording::samples() const {
    std::ifstream in(file_, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return {};
    // Chunk by chunk to "data"; a size the writer never completed runs to the end of the file.
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = little32(bytes, at + 4);
        if (bytes.compare(at, 4, "data") == 0) {
            const std::size_t end = std::min<std::size_t>(bytes.size(), at + 8 + std::size_t{size});
            std::vector<float> out;
            for (std::size_t i = at + 8; i + 1 < end; i += 2) {
                const auto raw =
                    static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8);
                out.push_back(static_cast<float>(raw) / 32768.0f);
            }
            return out;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

HungServer::HungServer(const std::filesystem::path& socket) : socket_(socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.string().size() >= sizeof address.sun_path) {
        problem_ = "socket path too long: " + socket.string();
        return;
    }
    std::strcpy(address.sun_path, socket.c_str());
    std::error_code ignored;
    std::filesystem::remove(socket, ignored);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 16) != 0)
        problem_ = "cannot listen at " + socket.string() + ": " + std::strerror(errno);
}

HungServer::~HungServer() {
    if (fd_ >= 0) ::close(fd_);
    std::error_code ignored;
    std::filesystem::remove(socket_, ignored);
}

struct BurstFeeder::State {
    std::atomic<bool> stop{false};
    mutable std::mutex mutex; // guards the rest
    std::string problem;
    bool paused = false;
    bool closed = false; // by pause(true), until resume()
    double frequency = 0;
    std::thread thread;

    void say(const std::string& why) {
        const std::lock_guard lock(mutex);
        problem = why;
    }
};

namespace {

// The FIFO opened for writing without blocking, once it has a reader; -1 when `stop` came first.
int openForWriting(const std::filesystem::path& fifo, const std::atomic<bool>& stop) {
    while (!stop) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENXIO) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // no reader yet
    }
    return -1;
}

// Writes all of `bytes` unless `stop` comes first; false when the FIFO refuses, or its reader
// has closed it (errno EPIPE).
bool writeAll(int fd, const std::vector<char>& bytes, const std::atomic<bool>& stop) {
    for (std::size_t at = 0; at < bytes.size() && !stop;) {
        const ssize_t put = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (put < 0 && errno != EINTR && errno != EAGAIN) return false;
        if (put > 0) {
            at += static_cast<std::size_t>(put);
        } else {
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, 50); // until the reader reads, or to look at `stop` again
        }
    }
    return true;
}

} // namespace

BurstFeeder::BurstFeeder(const std::filesystem::path& fifo, const Sound& sound, double burst)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.frequency = sound.frequency;
    std::signal(SIGPIPE, SIG_IGN); // a reader gone is EPIPE, not the end of the test
    state.thread = std::thread([&state, fifo, sound, burst] {
        // Without blocking: a reader that stops reading must not keep the feeder from stopping.
        int fd = openForWriting(fifo, state.stop);
        if (fd < 0 && !state.stop) return state.say("cannot open " + fifo.string());
        const auto frames = static_cast<std::size_t>(std::lround(burst * sound.rate));
        const std::size_t sampleBytes = sound.s16 ? 2 : 4;
        std::vector<char> block(frames * static_cast<std::size_t>(sound.channels) * sampleBytes);
        double phase = 0;
        auto due = std::chrono::steady_clock::now();
        while (!state.stop) {
            // The sound of the burst that has just passed, all at once.
            due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(burst));
            std::this_thread::sleep_until(due);
            bool paused = false, closed = false;
            double frequency = 0;
            {
                const std::lock_guard lock(state.mutex);
                paused = state.paused;
                closed = state.closed;
                frequency = state.frequency;
            }
            if (closed && fd >= 0) {
                ::close(fd);
                fd = -1;
            }
            if (paused) continue;
            if (fd < 0 && (fd = openForWriting(fifo, state.stop)) < 0) break;
            char* at = block.data();
            for (std::size_t i = 0; i < frames; ++i) {
                const double value = sound.amplitude * std::sin(phase);
                phase += 2 * std::numbers::pi * frequency / sound.rate;
                for (int c = 0; c < sound.channels; ++c, at += sampleBytes) {
                    if (sound.s16) {
                        const auto sample = static_cast<std::int16_t>(std::lround(value * 32767));
                        std::memcpy(at, &sample, 2);
                    } else {
                        const auto sample = static_cast<float>(value);
                        std::memcpy(at, &sample, 4);
                    }
                }
            }
            if (!writeAll(fd, block, state.stop)) {
                if (errno != EPIPE) {
                    state.say("cannot write to " + fifo.string() + ": " + std::strerror(errno));
                    break;
                }
                ::close(fd); // the reader has gone: wait for the next, as a player would
                fd = -1;
            }
        }
        if (fd >= 0) ::close(fd);
    });
}

BurstFeeder::~BurstFeeder() {
    state_->stop = true;
    state_->thread.join();
}

void BurstFeeder::pause(bool close) {
    const std::lock_guard lock(state_->mutex);
    state_->paused = true;
    state_->closed = close;
}

void BurstFeeder::resume(double frequency) {
    const std::lock_guard lock(state_->mutex);
    state_->paused = false;
    state_->closed = false;
    state_->frequency = frequency;
}

std::string BurstFeeder::problem() const {
    const std::lock_guard lock(state_->mutex);
    return state_->problem;
}

bool Playback::installed() {
    return onPath("paplay");
}

Playback::Playback(SoundServer& server, const std::filesystem::path& file, const std::string& sink,
                   const std::string& client) {
    std::vector<std::string> argv = {"paplay", "--device=" + sink, "--latency-msec=20"};
    if (!client.empty()) argv.push_back("--client-name=" + client);
    argv.push_back(file.string());
    try {
        paplay_ = std::make_unique<ChildProcess>(argv);
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    PlayingStream playing =
        awaitPlaying(server, paplay_->pid(), file, sink, [this] { return paplay_->running(); });
    stream_ = std::move(playing.stream);
    problem_ = std::move(playing.problem);
}

Playback::~Playback() {
    if (paplay_) paplay_->stop();
}

PlayingStream awaitPlaying(SoundServer& server, pid_t pid, const std::filesystem::path& file,
                           const std::string& sink, const std::function<bool()>& playing) {
    PlayingStream result;
    // paplay names its process in its stream's properties.
    const bool found = pollUntil(
        [&] {
            result.stream = server.streamOf(pid);
            return !playing() || !result.stream.empty();
        },
        kStartSeconds);
    if (!found || !playing()) {
        result.problem = "nothing played " + file.string();
        return result;
    }
    if (!server.keepOnSink(result.stream, sink)) {
        result.problem =
            "cannot keep the stream of " + file.string() + " on " + sink + ": " + server.problem();
        return result;
    }
    // The sink keeps the latency it ran with until its current block is out.
    const std::filesystem::path probe = file.string() + "." + sink + ".probe.wav";
    Recording monitor(sink + ".monitor", probe);
    if (!monitor.problem().empty() || !monitor.waitForMore(0.1))
        result.problem = "the sound of " + file.string() + " did not reach " + sink + ".monitor";
    monitor.stop();
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return result;
}

} // namespace lumacore::cli::test
