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

namespace lumacore::cli {
namespace {

constexpr double kSeconds = 10;
constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kInterface = "org.mpris.MediaPlayer2.Player";

// dbus-daemon with its socket in a folder removed at the end; it becomes the session bus.
class SessionBus {
  public:
    SessionBus() {
        char name[] = "/tmp/lumacore-dbus-XXXXXX";
        if (!::mkdtemp(name)) throw std::runtime_error("cannot make a folder for the bus");
        folder_ = name;
        daemon_.emplace(std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                                 "--print-address",
                                                 "--address=unix:dir=" + folder_},
                        test::EnvironmentChanges{}, folder_, folder_ + "/address");
        test::pollUntil(
            [&] {
                std::ifstream in(folder_ + "/address");
                std::getline(in, address_);
                return in.good() || !daemon_->running(); // a whole line, or no daemon
            },
            kSeconds);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
    ~SessionBus() {
        daemon_.reset();
        std::filesystem::remove_all(folder_);
    }
    bool started() { return daemon_->running() && !address_.empty(); }
    void stop() { daemon_->stop(); }

  private:
    std::string folder_;
    std::optional<test::ChildProcess> daemon_;
    std::string address_;
};

struct Track {
    std::string status;
    std::vector<std::string> artists;
    std::string title;
};

class FakePlayer {
  public:
    FakePlayer(const std::string& name, Track track) : track_(std::move(track)) {
        sd_bus* bus = nullptr;
        sd_bus_slot* object = nullptr;
        if (sd_bus_open_user(&bus) < 0) throw std::runtime_error("fake player: no bus");
        bus_.reset(bus);
        const int r = sd_bus_add_object_vtable(bus, &object, kPath, kInterface, kVtable, this);
        object_.reset(object);
        if (r < 0 || sd_bus_request_name(bus, ("org.mpris.MediaPlayer2." + name).c_str(), 0) < 0)
            throw std::runtime_error("fake player: cannot take its name");
    }
    void change(Track track) {
        track_ = std::move(track);
        sd_bus_emit_properties_changed(bus_.get(), kPath, kInterface, "PlaybackStatus", "Metadata",
                                       nullptr);
    }
    void process() {
        while (sd_bus_process(bus_.get(), nullptr) > 0) {
        }
    }

  private:
    // The status, or the metadata as players send it: the track's length (a field the reader
    // passes over), the title, and the artists (at most two here) last.
    static int get(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                   void* self, sd_bus_error*) {
        const Track& t = static_cast<FakePlayer*>(self)->track_;
        if (std::string_view(property) == "PlaybackStatus")
            return sd_bus_message_append(reply, "s", t.status.c_str());
        const auto artist = [&](std::size_t i) {
            return i < t.artists.size() ? t.artists[i].c_str() : "";
        };
        return sd_bus_message_append(reply, "a{sv}", 3, "mpris:length", "x", INT64_C(2000000),
                                     "xesam:title", "s", t.title.c_str(), "xesam:artist", "as",
                                     static_cast<unsigned>(t.artists.size()), artist(0), artist(1));
    }
    static constexpr sd_bus_vtable kVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("PlaybackStatus", "s", get, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
        SD_BUS_PROPERTY("Metadata", "a{sv}", get, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
        SD_BUS_VTABLE_END};

    Track track_;
    SdBus bus_;
    SdBusSlot object_;
};

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
