// Owners of sd-bus's objects (libsystemd): a connection and a slot (a match, a call awaiting its
// reply, an exported object). A connection is closed without flushing: nothing
// that reads the bus waits on it at its end.
#pragma once

#include <systemd/sd-bus.h>

#include <memory>

namespace lumacore::cli {

struct SdBusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using SdBus = std::unique_ptr<sd_bus, SdBusDeleter>;
using SdBusSlot = std::unique_ptr<sd_bus_slot, SdBusDeleter>;

} // namespace lumacore::cli
