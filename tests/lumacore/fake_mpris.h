// A session bus of the test's own (dbus-daemon) and fake media players on it that export the
// MPRIS player properties through sd-bus and announce track changes, for the tests of the
// now-playing title and of `listen`'s banner. They live in the test's process; a player that is a
// process of its own, playing sound, is PlayerProcess (player_process.h).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "mpris_player.h"
#include "session_bus.h"

namespace lumacore::cli::test {

class FakePlayer {
  public:
    FakePlayer(const std::string& name, Track track) {
        sd_bus* bus = nullptr;
        if (sd_bus_open_user(&bus) < 0) throw std::runtime_error("fake player: no bus");
        bus_.reset(bus);
        object_.emplace(bus, name, std::move(track));
    }
    void change(Track track) { object_->change(std::move(track)); }
    void process() {
        while (sd_bus_process(bus_.get(), nullptr) > 0) {
        }
    }

  private:
    SdBus bus_;
    std::optional<MprisObject> object_; // before the bus is closed
};

} // namespace lumacore::cli::test
