// dbus-daemon prints its address once it listens, so the first whole line of its output is the
// moment a client can connect.
#include "session_bus.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace lumacore::cli::test {

SessionBus::SessionBus(Reach reach) {
    char name[] = "/tmp/lumacore-dbus-XXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("cannot make a folder for the bus");
    folder_ = name;
    daemon_.emplace(std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                             "--print-address", "--address=unix:dir=" + folder_},
                    EnvironmentChanges{}, folder_, folder_ + "/address");
    pollUntil(
        [&] {
            std::ifstream in(folder_ + "/address");
            std::getline(in, address_);
            return in.good() || !daemon_->running(); // a whole line, or no daemon
        },
        kBusSeconds);
    if (reach == Reach::Everyone) ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
}

SessionBus::~SessionBus() {
    daemon_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace lumacore::cli::test
