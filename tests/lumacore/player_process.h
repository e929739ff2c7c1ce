// A media player that is a process of its own (lumacore_fake_player) on the test's session bus,
// playing into a sink of the test's sound server through paplay children of its own: what a
// visualiser that follows the player whose track it shows finds on a desktop, where the bus
// name's process (org.freedesktop.DBus.GetConnectionUnixProcessID) is the one whose descendants'
// streams play. The test's own process is never that player.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "mpris_player.h"
#include "session_bus.h"
#include "sound_server.h"

namespace lumacore::cli::test {

class PlayerProcess {
  public:
    // A file the player plays, and the application.name of its stream.
    struct Stream {
        std::string client;
        std::filesystem::path file;
    };

    // Whether paplay is there and the player program was built.
    static bool installed();

    // Starts the player as org.mpris.MediaPlayer2.`name` announcing `track` (its status, title
    // and first artist) and waits until its name is on the bus and each stream's sound reaches
    // `sink`'s monitor; each stays on `sink` when the default sink changes.
    PlayerProcess(SessionBus& bus, SoundServer& server, const std::string& name, const Track& track,
                  const std::string& sink, const std::vector<Stream>& streams);
    // Ends it as stop() does.
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    // Empty once the name is on the bus and every stream plays; otherwise one line saying why.
    const std::string& problem() const { return problem_; }
    pid_t pid() const { return player_ ? player_->pid() : -1; }
    std::string busName() const { return kMprisPrefix + name_; }
    // The server's numbers for the streams (their sink inputs), in the order asked for.
    const std::vector<std::string>& streams() const { return streams_; }
    // The paplay children that play them.
    const std::vector<pid_t>& streamProcesses() const { return streamProcesses_; }
    // Ends the player with SIGTERM, as a desktop's session would: it ends its streams and leaves
    // the bus. Its exit code; nullopt when it did not end in time and was killed.
    std::optional<int> stop();

  private:
    std::string name_;
    std::filesystem::path folder_; // the player's standard output and error
    std::unique_ptr<ChildProcess> player_;
    std::vector<std::string> streams_;
    std::vector<pid_t> streamProcesses_;
    std::string problem_;
};

// What the session bus says of a name: the process of its owner, nullopt when nobody owns it.
std::optional<pid_t> busNameProcess(const std::string& name);
// The xesam:title of the metadata the player named `busName` announces; nullopt when it does not
// answer.
std::optional<std::string> playerTitle(const std::string& busName);

// Whether process `pid` is `ancestor` or one of its descendants (read from /proc).
bool descendantOf(pid_t pid, pid_t ancestor);

} // namespace lumacore::cli::test
