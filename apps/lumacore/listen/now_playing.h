// The track the desktop's media players announce on the session bus (MPRIS): "Artist - Title"
// of the one playing, for `listen`'s banner. Everything happens on the caller's thread, in
// update(), without waiting: the players' names and properties are asked for once at the start
// and then followed through the bus's signals.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listen/mpris_properties.h"
#include "listen/sd_bus_handles.h"

namespace lumacore::cli {

class NowPlaying {
  public:
    // Connects to the session bus (DBUS_SESSION_BUS_ADDRESS, else the user's bus). Without one
    // it stays inactive and silent, and title() stays empty.
    NowPlaying();
    ~NowPlaying();
    NowPlaying(const NowPlaying&) = delete;
    NowPlaying& operator=(const NowPlaying&) = delete;

    // Handles whatever the bus has sent since the last call, and returns when nothing more is
    // there. A bus that has gone away makes it inactive for good.
    void update();
    // "Artist - Title" (or "Title") of the player playing, the one that started most recently
    // when several are; else of a paused one; else empty.
    std::string title() const;

    // A player as the bus knows it: its name, its process (0 until the bus has said), its title.
    struct PlayerView {
        std::string name; // org.mpris.MediaPlayer2.something
        int pid = 0;
        std::string status; // "Playing", "Paused", "Stopped" or empty
        std::string title;
    };
    // The player whose title() is shown; nullopt when none is.
    std::optional<PlayerView> shown() const;
    // Every player known.
    std::vector<PlayerView> players() const;
    // Whether everything asked of the bus so far has been answered (for a program that lists
    // and ends: it waits for this, a little).
    bool settled() const;
    // Whether it is connected to a bus.
    bool active() const { return bus_ != nullptr; }
    // Whether it is connected and the players there at the start are known; before that, title()
    // may be empty while one plays.
    bool ready() const { return bus_ && namesKnown_; }

  private:
    struct Player {
        NowPlaying* home = nullptr;
        std::string name;  // org.mpris.MediaPlayer2.something
        std::string owner; // its owner's unique name, once known
        PlayerState state;
        std::uint64_t startedPlaying = 0; // order of the last start, 0 if never seen playing
        int pid = 0;                      // its process, once the bus has said
        SdBusSlot pending;                // the Properties.GetAll call awaiting its reply
        SdBusSlot pidCall;                // the GetConnectionUnixProcessID call awaiting its reply
    };

    static int onNames(sd_bus_message* reply, void* self, sd_bus_error* error);
    static int onOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error* error);
    static int onPropertiesChanged(sd_bus_message* signal, void* self, sd_bus_error* error);
    static int onProperties(sd_bus_message* reply, void* player, sd_bus_error* error);
    static int onProcess(sd_bus_message* reply, void* player, sd_bus_error* error);
    const Player* best() const;
    static PlayerView viewOf(const Player& player);

    void addPlayer(const std::string& name, const std::string& owner);
    void askProperties(Player& player);
    void apply(Player& player, const PlayerState& state);
    void close();

    SdBus bus_;
    SdBusSlot ownerMatch_;
    SdBusSlot propertiesMatch_;
    SdBusSlot namesCall_;
    bool namesKnown_ = false;
    std::map<std::string, std::unique_ptr<Player>> players_; // by name
    std::uint64_t starts_ = 0;
};

} // namespace lumacore::cli
