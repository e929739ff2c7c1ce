// What a media player says of itself on the bus (MPRIS, org.mpris.MediaPlayer2.Player): whether
// it plays and what, read from the properties of a Properties.GetAll reply or a
// PropertiesChanged signal.
#pragma once

#include <systemd/sd-bus.h>

#include <string>

namespace lumacore::cli {

struct PlayerState {
    std::string status; // "Playing", "Paused", "Stopped", or empty while unknown
    std::string artist; // the track's artists, joined with ", "
    std::string title;
};

// Reads a dictionary of properties (a{sv}) at the message's current place into `state`: the
// ones it carries replace those in `state` (the metadata as a whole), the others stay. Entries
// of other names or of unexpected types are passed over. False when the message is not such a
// dictionary; `state` may then hold part of it.
bool readPlayerProperties(sd_bus_message* message, PlayerState& state);

// "Artist - Title", or the title alone when no artist is given; empty without a title.
std::string displayTitle(const PlayerState& state);

} // namespace lumacore::cli
