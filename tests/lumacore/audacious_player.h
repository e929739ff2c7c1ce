// Audacious 4.2 for one test, with the Lumacore plug-in built here as its only visualiser: a
// private prefix (Audacious takes its plug-in folder from its binary's place: a copy of the binary
// beside links to the system's plug-in folders and a Visualization folder holding only the module
// under test), a private configuration with the plug-in enabled (the 2D history) and a private
// session bus that audtool drives it through. It plays into the test's sound server, in the Qt
// interface on the test's X display, where the plug-in's dock is a window of its own.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "play_support.h"
#include "session_bus.h"

namespace lumacore::cli::test {

class AudaciousPlayer {
  public:
    // Whether audacious and audtool are on PATH.
    static bool installed();

    // Starts Audacious playing `files` (the first at once, the rest after it) with the plug-in
    // `module`, and waits until it plays and the dock's picture is 640 x 360.
    AudaciousPlayer(const std::filesystem::path& module, const std::vector<std::string>& files);
    ~AudaciousPlayer();
    AudaciousPlayer(const AudaciousPlayer&) = delete;
    AudaciousPlayer& operator=(const AudaciousPlayer&) = delete;

    // Empty once it plays and the picture shows; otherwise one line saying why not.
    const std::string& problem() const { return problem_; }
    bool running() { return audacious_ && audacious_->running(); }

    // audtool `args` run against this Audacious: its output, or nullopt when it failed.
    std::optional<std::string> audtool(const std::vector<std::string>& args);
    // Waits until Audacious says it is "playing", "paused" or "stopped".
    bool waitForStatus(const std::string& status);
    // The dock's picture as the screen shows it now; nullopt while the dock is closed.
    std::optional<Picture> picture();
    // Closes the dock (the plug-in disabled, as its close button does) or opens it again, and
    // waits until it has gone or shows at 640 x 360.
    bool closeDock();
    bool openDock();
    // Makes the dock's picture `width` x `height`, and waits until it is.
    bool resizeDock(int width, int height);

  private:
    ScratchDir folder_;
    std::unique_ptr<SessionBus> bus_;
    std::unique_ptr<ChildProcess> audacious_;
    EnvironmentChanges environment_;
    std::string problem_;
};

} // namespace lumacore::cli::test
