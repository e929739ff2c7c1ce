// NowPlaying on a dbus-daemon of the test's own, beside fake media players exporting the MPRIS
// player properties through sd-bus. All on the test's thread: after each step the players and the
// listener handle their messages in turn until the title expected shows, within a deadline.
#include "listen/now_playing.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "child_process.h"
#include "fake_mpris.h"

namespace lumacore::cli {
namespace {

using test::FakePlayer;
using test::SessionBus;
using test::Track;
constexpr double kSeconds = test::kBusSeconds;

enum class Action { Listen, Start, Change, Leave, StopBus };
using enum Action;

// One step, and the title expected after it (while listening).
struct Step {
    Action action;
    std::string player; // after org.mpris.MediaPlayer2.
    Track track;
    std::string expected;
    bool ready = true; // connected, the players at the start known
};

const Track kPlaying{"Playing", {"Artist"}, "Title"};

const std::vector<std::pair<const char*, std::vector<Step>>> kCases = {
    {"a player playing before the start, then changing track",
     {{Start, "fake", kPlaying, ""},
      {Listen, "", {}, "Artist - Title"},
      {Change, "fake", {"Playing", {"Artist"}, "Next"}, "Artist - Next"}}},
    {"a player appearing after the start, then changing track",
     {{Listen, "", {}, ""},
      {Start, "fake", {"Playing", {"Ann", "Bob"}, "Duet"}, "Ann, Bob - Duet"},
      {Change, "fake", {"Playing", {"Ann"}, "Solo"}, "Ann - Solo"}}},
    {"a paused player and a playing one",
     {{Listen, "", {}, ""},
      {Start, "other", {"Paused", {"P"}, "Held"}, "P - Held"},
      {Start, "fake", {"Playing", {"Q"}, "Heard"}, "Q - Heard"},
      {Change, "other", {"Playing", {"P"}, "Held"}, "P - Held"},
      {Change, "other", {"Stopped", {"P"}, "Held"}, "Q - Heard"}}},
    {"the player leaving the bus",
     {{Listen, "", {}, ""}, {Start, "fake", kPlaying, "Artist - Title"}, {Leave, "fake", {}, ""}}},
    {"a title without artist",
     {{Start, "fake", {"Playing", {}, "Alone"}, ""}, {Listen, "", {}, "Alone"}}},
    {"the bus going away",
     {{Listen, "", {}, ""},
      {Start, "fake", kPlaying, "Artist - Title"},
      {StopBus, "", {}, "", false}}},
};

TEST(NowPlaying, WithoutASessionBusItIsInactiveAndEmpty) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumacore/bus", 1);
    NowPlaying listener;
    listener.update();
    EXPECT_FALSE(listener.active());
    EXPECT_FALSE(listener.ready());
    EXPECT_EQ(listener.title(), "");
}

TEST(NowPlaying, FollowsThePlayersOnTheBus) {
    if (!test::onPath("dbus-daemon")) GTEST_SKIP() << "no dbus-daemon";
    for (const auto& [name, steps] : kCases) {
        SCOPED_TRACE(name);
        SessionBus bus;
        ASSERT_TRUE(bus.started()) << "dbus-daemon gave no address";
        std::optional<NowPlaying> listener;
        std::map<std::string, std::unique_ptr<FakePlayer>> players;
        for (const Step& step : steps) {
            SCOPED_TRACE("expecting \"" + step.expected + "\"");
            if (step.action == Listen) listener.emplace();
            if (step.action == Start)
                players[step.player] = std::make_unique<FakePlayer>(step.player, step.track);
            if (step.action == Change) players.at(step.player)->change(step.track);
            if (step.action == Leave) players.erase(step.player);
            if (step.action == StopBus) bus.stop();
            if (!listener) continue;
            EXPECT_TRUE(test::pollUntil(
                [&] {
                    for (auto& player : players)
                        player.second->process();
                    listener->update();
                    return listener->title() == step.expected && listener->ready() == step.ready;
                },
                kSeconds))
                << "title \"" << listener->title() << "\"";
        }
    }
}

} // namespace
} // namespace lumacore::cli
