// A session bus of the test's own (dbus-daemon) and fake media players on it that export the
// MPRIS player properties through sd-bus and announce track changes, for the tests of the
// now-playing title and of `listen`'s banner.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "child_process.h"
#include "listen/sd_bus_handles.h"

namespace lumacore::cli::test {

inline constexpr double kBusSeconds = 10;
inline constexpr const char* kMprisPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kMprisInterface = "org.mpris.MediaPlayer2.Player";

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
                        EnvironmentChanges{}, folder_, folder_ + "/address");
        pollUntil(
            [&] {
                std::ifstream in(folder_ + "/address");
                std::getline(in, address_);
                return in.good() || !daemon_->running(); // a whole line, or no daemon
            },
            kBusSeconds);
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
    std::optional<ChildProcess> daemon_;
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
        const int r =
            sd_bus_add_object_vtable(bus, &object, kMprisPath, kMprisInterface, kVtable, this);
        object_.reset(object);
        if (r < 0 || sd_bus_request_name(bus, ("org.mpris.MediaPlayer2." + name).c_str(), 0) < 0)
            throw std::runtime_error("fake player: cannot take its name");
    }
    void change(Track track) {
        track_ = std::move(track);
        sd_bus_emit_properties_changed(bus_.get(), kMprisPath, kMprisInterface, "PlaybackStatus",
                                       "Metadata", nullptr);
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

} // namespace lumacore::cli::test
