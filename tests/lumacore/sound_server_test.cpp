// The live tests' sound servers themselves, on PulseAudio and on PipeWire alike: two clients
// playing into one null sink are told apart by their streams' properties and recorded one at a
// time from the sink's monitor, a server's programs, bus and folder live and die with it, and the
// media player in a process of its own plays from its descendants.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
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

namespace fs = std::filesystem;

constexpr const char* kSink = "lumacore_fixture";
constexpr double kToneSeconds = 60;    // longer than any test: the tones play throughout
constexpr double kToneAmplitude = 0.2; // well above toneRuns' floor
constexpr double kRecordSeconds = 0.5;
constexpr const char* kPlayersSink = "lumacore_players";

class SoundServerTest : public ::testing::TestWithParam<SoundServer::Kind> {
  protected:
    void SetUp() override {
        if (!SoundServer::installed(GetParam()) || !Playback::installed())
            GTEST_SKIP() << "one of " << testing::PrintToString(SoundServer::programs(GetParam()))
                         << " or paplay is not installed";
    }
    std::string file(const std::string& name) const { return scratch_.file(name); }
    // A tone on spectrum bin `bin`, written once.
    std::string toneFile(int bin) {
        const std::string name = file("bin" + std::to_string(bin) + ".wav");
        if (written_.insert(bin).second)
            writeSineWav(name, binFrequency(bin), kToneAmplitude, kToneSeconds);
        return name;
    }

    ScratchDir scratch_;
    std::set<int> written_;
};
INSTANTIATE_TEST_SUITE_P(, SoundServerTest, ::testing::ValuesIn(SoundServer::kKinds),
                         [](const auto& info) { return SoundServer::name(info.param); });

// The seconds of `samples` (interleaved stereo, 44.1 kHz) in which `frequency` dominates, on the
// left and on the right alike: the shorter of the two totals.
double secondsOf(const std::vector<float>& samples, double frequency) {
    double shortest = kRecordSeconds * 100;
    for (int channel = 0; channel < 2; ++channel) {
        double total = 0;
        for (const ToneRun& run : toneRuns(samples, channel, 44100, {frequency}))
            total += run.seconds;
        shortest = std::min(shortest, total);
    }
    return shortest;
}

TEST_P(SoundServerTest, TwoClientsInOneSinkAreToldApartAndRecordedAlone) {
    struct Client {
        const char* name;
        int bin;
    };
    const Client clients[] = {{"lumacore-low", 20}, {"lumacore-high", 45}};
    SoundServer server(kSink, GetParam());
    ASSERT_EQ(server.problem(), "");
    std::vector<std::unique_ptr<Playback>> playing;
    for (const Client& client : clients) {
        // Named after the client: the stream's media.name says which file it plays.
        const std::string tone = file(std::string(client.name) + ".wav");
        writeSineWav(tone, binFrequency(client.bin), kToneAmplitude, kToneSeconds);
        playing.push_back(std::make_unique<Playback>(server, tone, kSink, client.name));
        ASSERT_EQ(playing.back()->problem(), "");
    }

    // Each stream names its client and the process that plays it.
    for (std::size_t i = 0; i < playing.size(); ++i) {
        SCOPED_TRACE(clients[i].name);
        const auto properties = server.streamProperties(playing[i]->stream());
        const auto value = [&](const std::string& key) {
            const auto found = properties.find(key);
            return found == properties.end() ? "(none)" : found->second;
        };
        EXPECT_EQ(value("application.name"), clients[i].name);
        EXPECT_EQ(value("application.process.id"), std::to_string(playing[i]->pid()));
        EXPECT_EQ(value("media.name"), file(std::string(clients[i].name) + ".wav"));
        EXPECT_EQ(server.streamOf(playing[i]->pid()), playing[i]->stream());
    }

    struct Case {
        const char* name;
        std::string stream; // recorded alone; empty: the whole monitor
        bool lowHeard, highHeard;
    };
    const Case cases[] = {
        {"the first stream alone", playing[0]->stream(), true, false},
        {"the second stream alone", playing[1]->stream(), false, true},
        {"the whole monitor", "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording recording(server.monitor(), file("recorded.wav"), c.stream);
        ASSERT_EQ(recording.problem(), "");
        ASSERT_TRUE(recording.waitForMore(kRecordSeconds));
        recording.stop();
        const std::vector<float> samples = recording.samples();
        // Nearly all of it, besides the moments before the sound arrived.
        const auto heard = [&](int bin) {
            return secondsOf(samples, binFrequency(bin)) >= 0.8 * kRecordSeconds;
        };
        const auto silent = [&](int bin) { return secondsOf(samples, binFrequency(bin)) == 0; };
        EXPECT_TRUE(c.lowHeard ? heard(clients[0].bin) : silent(clients[0].bin));
        EXPECT_TRUE(c.highHeard ? heard(clients[1].bin) : silent(clients[1].bin));
    }
}

// Whether process `pid`, once a child of this one, has gone: reaped, it no longer exists.
bool gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

TEST_P(SoundServerTest, ItsProgramsAndFolderLiveAndDieWithIt) {
    const auto started = std::chrono::steady_clock::now();
    std::optional<SoundServer> server(std::in_place, kSink, GetParam());
    ASSERT_EQ(server->problem(), "");
    const double startSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(server->addSink("lumacore_other")) << server->problem();
    const std::string address = server->address();
    const fs::path socket = address.substr(std::string("unix:").size());
    const auto sinks = [&] {
        return commandOutput({"pactl", "--server=" + address, "list", "short", "sinks"});
    };
    const auto defaultSink = [&] {
        return commandOutput({"pactl", "--server=" + address, "get-default-sink"});
    };

    // Killed, nobody reaches it; started again, it has the same sinks, the first the default.
    server->kill();
    EXPECT_FALSE(sinks());
    ASSERT_TRUE(server->restart()) << server->problem();
    const std::string listed = sinks().value_or("");
    EXPECT_NE(listed.find(std::string("\t") + kSink + "\t"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\tlumacore_other\t"), std::string::npos) << listed;
    EXPECT_EQ(defaultSink(), std::string(kSink) + "\n");

    const std::vector<pid_t> processes = server->processes();
    EXPECT_EQ(processes.size(), GetParam() == SoundServer::Kind::PipeWire ? 4U : 1U);
    const auto stopping = std::chrono::steady_clock::now();
    server.reset();
    const double stopSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stopping).count();
    for (const pid_t pid : processes)
        EXPECT_TRUE(gone(pid)) << "process " << pid << " outlived the server";
    EXPECT_FALSE(fs::exists(socket.parent_path().parent_path())) << "its folder is left";
    // For the test's report (ctest --output-junit, or --gtest_output=xml).
    RecordProperty("StartSeconds", std::to_string(startSeconds));
    RecordProperty("StopSeconds", std::to_string(stopSeconds));
}

// The media player in a process of its own, with other players beside it: the session bus
// names its process as the owner of its name and gives its title, each of its streams is played
// by a descendant of that process under the client name asked for, and when it ends its streams
// and its name go with it.
TEST_P(SoundServerTest, APlayerProcessOwnsItsBusNameAndItsStreamsPlayInItsDescendants) {
    if (!PlayerProcess::installed()) GTEST_SKIP() << "the test's media player was not built";
    if (!onPath("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
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
    SoundServer server(kPlayersSink, GetParam());
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
            std::make_unique<PlayerProcess>(bus, server, c.player, c.track, kPlayersSink, streams));
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
