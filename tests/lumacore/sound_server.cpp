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

} // namespace

bool SoundServer::installed() {
    return onPath("pulseaudio") && onPath("pactl") && onPath("parec");
}

SoundServer::SoundServer(const std::string& sink) : sink_(sink) {
    char name[] = "/tmp/lumacore-pulse-XXXXXX"; // mkdtemp makes it 0700, as the server wants
    if (!::mkdtemp(name)) {
        problem_ = "cannot make a runtime folder for the sound server";
        return;
    }
    folder_ = name;
    // Clients never start a server of their own when this one is gone.
    std::ofstream(folder_ / "client.conf") << "autospawn = no\n";
    if (!start()) return;
    exportTo("PULSE_SERVER", address());
    exportTo("PULSE_CLIENTCONFIG", (folder_ / "client.conf").string());
    exportTo("XDG_RUNTIME_DIR", folder_.string());
}

bool SoundServer::start() {
    const EnvironmentChanges serverEnvironment = {
        {"XDG_RUNTIME_DIR", folder_.string()},
        {"HOME", folder_.string()},
        {"XDG_CONFIG_HOME", (folder_ / "config").string()},
        {"XDG_STATE_HOME", (folder_ / "state").string()},
        {"PULSE_SERVER", std::nullopt},
        {"DISPLAY", std::nullopt}};
    try {
        server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                     "--load=module-native-protocol-unix auth-anonymous=1",
                                     "--load=module-null-sink sink_name=" + sink_},
            serverEnvironment, folder_, "/dev/null", folder_ / "server.log");
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return false;
    }
    const bool answers = pollUntil(
        [&] {
            return !server_->running() || commandOutput({"pactl", "info"}, client(), 5);
        },
        kStartSeconds);
    if (!answers || !server_->running()) {
        problem_ = "the sound server did not answer: " + tail(folder_ / "server.log");
        return false;
    }
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
    if (server_) server_->stop();
    server_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string SoundServer::address() const {
    return "unix:" + (folder_ / "pulse/native").string();
}

EnvironmentChanges SoundServer::client() const {
    return {{"PULSE_SERVER", address()},
            {"PULSE_CLIENTCONFIG", (folder_ / "client.conf").string()}};
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

bool SoundServer::setDefaultSink(const std::string& name) {
    if (!commandOutput({"pactl", "set-default-sink", name}, client())) return false;
    defaultSink_ = name;
    return true;
}

bool SoundServer::keepOnSink(const std::string& stream, const std::string& sink) {
    const std::string spare = "lumacore_spare";
    if (std::find(addedSinks_.begin(), addedSinks_.end(), spare) == addedSinks_.end() &&
        !addSink(spare))
        return false;
    const std::string wasDefault = defaultSink_;
    if (wasDefault == sink && !setDefaultSink(spare)) return false;
    const bool moved = commandOutput({"pactl", "move-sink-input", stream, spare}, client()) &&
                       commandOutput({"pactl", "move-sink-input", stream, sink}, client());
    return setDefaultSink(wasDefault) && moved;
}

void SoundServer::kill() {
    if (!server_) return;
    server_->signal(SIGKILL);
    server_->waitExit(kStartSeconds);
    server_.reset();
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

Recording::Recording(const std::string& source, const std::filesystem::path& file) : file_(file) {
    try {
        parec_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "parec", "--device=" + source, "--file-format=wav", "--format=s16le", "--rate=44100",
            "--channels=2", "--latency-msec=20", file_.string()});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    // A null sink's monitor gives silence while nothing plays, so sound arrives at once.
    if (!pollUntil([this] { return recordedSeconds() >= 0.05 || !parec_->running(); },
                   kStartSeconds) ||
        !parec_->running())
        problem_ = "parec recorded nothing from " + source;
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
    mutable std::mutex mutex;
    std::string problem;
    std::thread thread;
};

BurstFeeder::BurstFeeder(const std::filesystem::path& fifo, double frequency, double amplitude,
                         double burst)
    : state_(std::make_unique<State>()) {
    State& state = *state_;
    state.thread = std::thread([&state, fifo, frequency, amplitude, burst] {
        const auto say = [&](const std::string& problem) {
            const std::lock_guard lock(state.mutex);
            state.problem = problem;
        };
        // Without blocking: a suspended source stops reading, and the feeder must still stop.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return say("cannot open " + fifo.string());
        const auto frames = static_cast<std::size_t>(std::lround(burst * 44100));
        std::vector<float> block(2 * frames);
        long long made = 0;
        auto due = std::chrono::steady_clock::now();
        while (!state.stop) {
            // The sound of the burst that has just passed, all at once.
            due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(burst));
            std::this_thread::sleep_until(due);
            for (std::size_t i = 0; i < frames; ++i, ++made)
                block[2 * i] = block[2 * i + 1] = static_cast<float>(
                    amplitude * std::sin(2 * std::numbers::pi * frequency * made / 44100));
            const auto* bytes = reinterpret_cast<const char*>(block.data());
            for (std::size_t at = 0, size = block.size() * sizeof(float);
                 at < size && !state.stop;) {
                const ssize_t put = ::write(fd, bytes + at, size - at);
                if (put < 0 && errno != EINTR && errno != EAGAIN) {
                    ::close(fd);
                    return say("cannot write to " + fifo.string());
                }
                if (put > 0) {
                    at += static_cast<std::size_t>(put);
                } else {
                    pollfd room{fd, POLLOUT, 0};
                    ::poll(&room, 1, 50); // until the source reads, or to look at `stop` again
                }
            }
        }
        ::close(fd);
    });
}

BurstFeeder::~BurstFeeder() {
    state_->stop = true;
    state_->thread.join();
}

std::string BurstFeeder::problem() const {
    const std::lock_guard lock(state_->mutex);
    return state_->problem;
}

bool Playback::installed() {
    return onPath("paplay");
}

Playback::Playback(SoundServer& server, const std::filesystem::path& file,
                   const std::string& sink) {
    try {
        paplay_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "paplay", "--device=" + sink, "--latency-msec=20", file.string()});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    // paplay names its process in its stream's properties.
    const std::string mark = "application.process.id = \"" + std::to_string(paplay_->pid()) + "\"";
    std::string stream; // the server's number for it
    const bool playing = pollUntil(
        [&] {
            const auto streams = commandOutput({"pactl", "list", "sink-inputs"});
            const std::size_t at = streams ? streams->find(mark) : std::string::npos;
            const std::size_t block = at == std::string::npos ? at : streams->rfind("#", at);
            if (block != std::string::npos)
                stream = streams->substr(block + 1, streams->find('\n', block) - block - 1);
            return !paplay_->running() || !stream.empty();
        },
        kStartSeconds);
    if (!playing || !paplay_->running()) {
        problem_ = "paplay did not play " + file.string();
        return;
    }
    if (!server.keepOnSink(stream, sink)) {
        problem_ = "cannot keep the stream of " + file.string() + " on " + sink;
        return;
    }
    // The sink keeps the latency it ran with until its current block is out.
    const std::filesystem::path probe = file.string() + "." + sink + ".probe.wav";
    Recording monitor(sink + ".monitor", probe);
    if (!monitor.problem().empty() || !monitor.waitForMore(0.1))
        problem_ = "the sound of " + file.string() + " did not reach " + sink + ".monitor";
    monitor.stop();
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
}

Playback::~Playback() {
    if (paplay_) paplay_->stop();
}

} // namespace lumacore::cli::test
