// The media player in a process of its own, on each sound server, with other players beside it:
// the session bus names its process as the owner of its name and gives its title, each of its
// streams is played by a descendant of that process under the client name asked for, and when it
// ends its streams and its name go with it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "play_support.h"
#include "player_process.h"
#include "session_bus.h"
#include "sound_server.h"

namespace lumacore::cli::test {
namespace {

constexpr const char* kSink = "lumacore_players";
constexpr double kToneSeconds = 60; // longer than the test: the players play throughout
constexpr double kToneAmplitude = 0.2;

class PlayerProcessTest : public ::testing::TestWithParam<SoundServer::Kind> {
  protected:
    void SetUp() override {
        if (!SoundServer::installed(GetParam()) || !PlayerProcess::installed())
            GTEST_SKIP() << "one of " << testing::PrintToString(SoundServer::programs(GetParam()))
                         << " or paplay is not installed";
        if (!onPath("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
    }

    // A tone on spectrum bin `bin`, written once.
    std::string toneFile(int bin) {
        const std::string name = scratch_.file("bin" + std::to_string(bin) + ".wav");
        if (written_.insert(bin).second)
            writeSineWav(name, binFrequency(bin), kToneAmplitude, kToneSeconds);
        return name;
    }

    ScratchDir scratch_;
    std::set<int> written_;
};
INSTANTIATE_TEST_SUITE_P(, PlayerProcessTest, ::testing::ValuesIn(SoundServer::kKinds),
                         [](const auto& info) { return SoundServer::name(info.param); });

// Whether process `pid`, once a descendant of this one, has gone.
bool gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

TEST_P(PlayerProcessTest, TheBusNamesItsProcessAndItsStreamsPlayInItsDescendants) {
    struct Case {
        const char* player; // after org.mpris.MediaPlayer2.
        Track track;
        std::vector<std::pair<std::string, int>> streams; // client name, tone's bin
    };
    // clang-format off
    const Case cases[] = {
        {"lumacore_one", {"Playing", {"Artist"}, "One"}, {{"lumacore-one", 20}}},
        {"lumacore_two", {"Paused", {}, "Two"}, {{"lumacore-two-low", 20}, {"lumacore-two-high", 45}}},
    };
    // clang-format on
    SoundServer server(kSink, GetParam());
    ASSERT_EQ(server.problem(), "");
    SessionBus bus;
    ASSERT_TRUE(bus.started()) << "dbus-daemon did not start";

    // All of them at once, so that each name has to lead to its own player.
    std::vector<std::unique_ptr<PlayerProcess>> players;
    for (const Case& c : cases) {
        std::vector<PlayerProcess::Stream> streams;
        for (const auto& [client, bin] : c.streams)
            streams.push_back({client, toneFile(bin)});
        players.push_back(
            std::make_unique<PlayerProcess>(bus, server, c.player, c.track, kSink, streams));
        ASSERT_EQ(players.back()->problem(), "") << c.player;
    }

    for (std::size_t i = 0; i < players.size(); ++i) {
        const Case& c = cases[i];
        const PlayerProcess& player = *players[i];
        SCOPED_TRACE(c.player);
        EXPECT_NE(player.pid(), ::getpid());
        EXPECT_EQ(busNameProcess(player.busName()), player.pid());
        EXPECT_EQ(playerTitle(player.busName()), c.track.title);
        ASSERT_EQ(player.streams().size(), c.streams.size());
        for (std::size_t s = 0; s < c.streams.size(); ++s) {
            SCOPED_TRACE(c.streams[s].first);
            std::map<std::string, std::string> properties =
                server.streamProperties(player.streams()[s]);
            const pid_t process = std::atoi(properties["application.process.id"].c_str());
            EXPECT_TRUE(descendantOf(process, player.pid()))
                << "process " << process << " plays; the player is " << player.pid();
            EXPECT_EQ(process, player.streamProcesses()[s]);
            EXPECT_EQ(properties["application.name"], c.streams[s].first);
        }
    }

    // Ended, a player leaves the bus and its streams end; the others play on.
    for (std::size_t i = 0; i < players.size(); ++i) {
        SCOPED_TRACE(cases[i].player);
        const std::string name = players[i]->busName();
        const std::vector<pid_t> streamProcesses = players[i]->streamProcesses();
        EXPECT_EQ(players[i]->stop(), 0);
        EXPECT_FALSE(busNameProcess(name)) << name << " is still owned";
        for (const pid_t process : streamProcesses) {
            EXPECT_TRUE(gone(process)) << "paplay " << process << " outlived its player";
            EXPECT_EQ(server.streamOf(process), "");
        }
        for (std::size_t later = i + 1; later < players.size(); ++later)
            EXPECT_EQ(busNameProcess(players[later]->busName()), players[later]->pid());
    }
}

} // namespace
} // namespace lumacore::cli::test
