// A media player's MPRIS player properties exported through sd-bus: the playback status and the
// track's metadata, with their changes announced. The test's in-process fake players and the
// player program of its own (lumacore_fake_player) both serve them this way.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "listen/sd_bus_handles.h"

namespace lumacore::cli::test {

inline constexpr const char* kMprisPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kMprisInterface = "org.mpris.MediaPlayer2.Player";
inline constexpr const char* kMprisPrefix = "org.mpris.MediaPlayer2.";

struct Track {
    std::string status;
    std::vector<std::string> artists;
    std::string title;
};

// The player object at kMprisPath on `bus`, under the name org.mpris.MediaPlayer2.`name`, for as
// long as this lives; the caller keeps the bus and processes its messages.
class MprisObject {
  public:
    // Throws std::runtime_error when the object cannot be added or the name taken.
    MprisObject(sd_bus* bus, const std::string& name, Track track)
        : bus_(bus), track_(std::move(track)) {
        sd_bus_slot* object = nullptr;
        const int r =
            sd_bus_add_object_vtable(bus, &object, kMprisPath, kMprisInterface, kVtable, this);
        object_.reset(object);
        if (r < 0 || sd_bus_request_name(bus, (kMprisPrefix + name).c_str(), 0) < 0)
            throw std::runtime_error("cannot take the name " + (kMprisPrefix + name));
    }
    MprisObject(const MprisObject&) = delete;
    MprisObject& operator=(const MprisObject&) = delete;

    void change(Track track) {
        track_ = std::move(track);
        sd_bus_emit_properties_changed(bus_, kMprisPath, kMprisInterface, "PlaybackStatus",
                                       "Metadata", nullptr);
    }

  private:
    // The status, or the metadata as players send it: the track's length (a field the reader
    // passes over), the title, and the artists (at most two here) last.
    static int get(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                   void* self, sd_bus_error*) {
        const Track& t = static_cast<MprisObject*>(self)->track_;
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

    sd_bus* bus_;
    Track track_;
    SdBusSlot object_;
};

} // namespace lumacore::cli::test
