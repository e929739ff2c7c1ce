// The player prints its paplay children's process ids once its name is on the bus, so a whole
// line for each is the moment the name is owned; each stream is then found, kept on its sink and
// heard as Playback's is. Questions to the bus go through a connection of their own, closed after.
#include "player_process.h"

#include <signal.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "program_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kStartSeconds = 15;

// The process ids in the first `count` whole lines of `file`; fewer while it is being written.
std::vector<pid_t> printedIds(const std::filesystem::path& file, std::size_t count) {
    std::vector<pid_t> ids;
    std::istringstream in(fileBytes(file));
    std::string line;
    while (ids.size() < count && std::getline(in, line) && !in.eof()) {
        char* end = nullptr;
        const long id = std::strtol(line.c_str(), &end, 10);
        if (id <= 0 || *end != '\0') break;
        ids.push_back(static_cast<pid_t>(id));
    }
    return ids;
}

struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

// sd_bus_error, freed when it goes.
struct BusError {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&error); }
};

SdBus openSessionBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    return SdBus(bus);
}

} // namespace

bool PlayerProcess::installed() {
    return onPath("paplay");
}

PlayerProcess::PlayerProcess(SessionBus& bus, SoundServer& server, const std::string& name,
                             const Track& track, const std::string& sink,
                             const std::vector<Stream>& streams)
    : name_(name) {
    char folder[] = "/tmp/lumacore-player-XXXXXX";
    if (!::mkdtemp(folder)) {
        problem_ = "cannot make a folder for the player";
        return;
    }
    folder_ = folder;
    std::vector<std::string> argv = {
        LUMACORE_FAKE_PLAYER, name,
        track.status,         track.artists.empty() ? "" : track.artists.front(),
        track.title,          sink};
    for (const Stream& stream : streams) {
        argv.push_back(stream.client);
        argv.push_back(stream.file.string());
    }
    try {
        player_ = std::make_unique<ChildProcess>(
            argv, EnvironmentChanges{{"DBUS_SESSION_BUS_ADDRESS", bus.address()}}, folder_,
            folder_ / "output", folder_ / "errors");
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    const std::filesystem::path output = folder_ / "output";
    if (!pollUntil(
            [&] {
                return !player_->running() ||
                       printedIds(output, streams.size()).size() == streams.size();
            },
            kStartSeconds) ||
        !player_->running()) {
        problem_ = "the player did not take its name: " + fileBytes(folder_ / "errors");
        return;
    }
    streamProcesses_ = printedIds(output, streams.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        PlayingStream playing = awaitPlaying(server, streamProcesses_[i], streams[i].file, sink,
                                             [this] { return player_->running(); });
        if (!playing.problem.empty()) {
            problem_ = "the player: " + playing.problem;
            return;
        }
        streams_.push_back(std::move(playing.stream));
    }
}

PlayerProcess::~PlayerProcess() {
    stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::optional<int> PlayerProcess::stop() {
    if (!player_) return std::nullopt;
    player_->signal(SIGTERM);
    std::optional<int> code = player_->waitExit(kStartSeconds);
    if (!code) player_->stop();
    return code;
}

std::optional<pid_t> busNameProcess(const std::string& name) {
    const SdBus bus = openSessionBus();
    if (!bus) return std::nullopt;
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetConnectionUnixProcessID", &error.error,
                           &reply, "s", name.c_str()) < 0)
        return std::nullopt;
    const Message owned(reply);
    std::uint32_t pid = 0;
    if (sd_bus_message_read(reply, "u", &pid) < 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

std::optional<std::string> playerTitle(const std::string& busName) {
    const SdBus bus = openSessionBus();
    if (!bus) return std::nullopt;
    BusError error;
    sd_bus_message* reply = nullptr;
    if (sd_bus_get_property(bus.get(), busName.c_str(), kMprisPath, kMprisInterface, "Metadata",
                            &error.error, &reply, "a{sv}") < 0)
        return std::nullopt;
    const Message owned(reply);
    if (sd_bus_message_enter_container(reply, 'a', "{sv}") < 0) return std::nullopt;
    while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(reply, "s", &key) < 0) return std::nullopt;
        if (std::string_view(key) == "xesam:title") {
            const char* title = nullptr;
            if (sd_bus_message_read(reply, "v", "s", &title) < 0) return std::nullopt;
            return title;
        }
        if (sd_bus_message_skip(reply, "v") < 0 || sd_bus_message_exit_container(reply) < 0)
            return std::nullopt;
    }
    return std::nullopt;
}

bool descendantOf(pid_t pid, pid_t ancestor) {
    // Up the parents, from each process's stat: "PID (NAME) STATE PPID ...", NAME may hold spaces.
    for (int depth = 0; pid > 1 && depth < 64; ++depth) {
        if (pid == ancestor) return true;
        const std::string stat = fileBytes("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t end = stat.rfind(')');
        if (end == std::string::npos) return false;
        std::istringstream fields(stat.substr(end + 1));
        std::string state;
        fields >> state >> pid;
        if (!fields) return false;
    }
    return pid == ancestor;
}

} // namespace lumacore::cli::test
