// The server runs with its own runtime, home and configuration folders, so that nothing it writes
// (socket, cookie, state) outlives the folder removed at the end; it accepts any local client,
// whatever settings folder a test gives it.
#include "sound_server.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

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
        return;
    }
    // Clients never start a server of their own when this one is gone.
    const std::filesystem::path clientConfig = folder_ / "client.conf";
    std::ofstream(clientConfig) << "autospawn = no\n";
    const EnvironmentChanges client = {{"PULSE_SERVER", address()},
                                       {"PULSE_CLIENTCONFIG", clientConfig.string()}};
    const bool answers = pollUntil(
        [&] {
            return !server_->running() || commandOutput({"pactl", "info"}, client, 5);
        },
        kStartSeconds);
    if (!answers || !server_->running()) {
        problem_ = "the sound server did not answer: " + tail(folder_ / "server.log");
        return;
    }
    if (!commandOutput({"pactl", "set-default-sink", sink_}, client)) {
        problem_ = "cannot make " + sink_ + " the default sink";
        return;
    }
    exportTo("PULSE_SERVER", address());
    exportTo("PULSE_CLIENTCONFIG", clientConfig.string());
    exportTo("XDG_RUNTIME_DIR", folder_.string());
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

void SoundServer::exportTo(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    replaced_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
}

Recording::Recording(const SoundServer& server, const std::filesystem::path& file) : file_(file) {
    try {
        parec_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "parec", "--device=" + server.monitor(), "--file-format=wav", "--format=s16le",
            "--rate=44100", "--channels=2", "--latency-msec=20", file_.string()});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    // A null sink's monitor gives silence while nothing plays, so sound arrives at once.
    if (!pollUntil([this] { return recordedSeconds() >= 0.05 || !parec_->running(); },
                   kStartSeconds) ||
        !parec_->running())
        problem_ = "parec recorded nothing from " + server.monitor();
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

} // namespace lumacore::cli::test
