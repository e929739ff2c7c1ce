// A session bus of the test's own: dbus-daemon with its socket in a folder removed at the end.
// Exported, it becomes the bus of the test and of every child it starts; kept private, only the
// processes given its address() reach it (a sound server's helpers, which want a bus of their
// own beside the one the test's media players use).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "child_process.h"

namespace lumacore::cli::test {

inline constexpr double kBusSeconds = 10;

class SessionBus {
  public:
    enum class Reach { Everyone, Private };

    // Starts the daemon and waits for its address; throws std::runtime_error without a folder.
    explicit SessionBus(Reach reach = Reach::Everyone);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    bool started() { return daemon_->running() && !address_.empty(); }
    // The value of DBUS_SESSION_BUS_ADDRESS that reaches it.
    const std::string& address() const { return address_; }
    pid_t pid() const { return daemon_->pid(); }
    void stop() { daemon_->stop(); }

  private:
    std::string folder_;
    std::optional<ChildProcess> daemon_;
    std::string address_;
};

} // namespace lumacore::cli::test
