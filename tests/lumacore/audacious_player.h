// Audacious 4.2 for one test, with the Lumacore plug-in built here and nothing else among its
// visualisers: a private prefix (Audacious finds its plug-ins beside its own binary, so a copy of
// the binary beside links to the system's plug-in folders and a Visualization folder holding only
// the module under test), a private configuration with the plug-in enabled and its settings, and a
// private session bus that audtool drives it through. It runs in the Qt interface on the test's X
// display and plays into the test's sound server; the plug-in's dock opens as a window of its own.
#pragma once

#include <sys/types.h>

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
    // The plug-in's settings under "lumacore" in Audacious's configuration.
    struct Settings {
        int display = 0; // 0 the history, 1 the oscilloscope, 2 the VU meter
        bool threeD = false;
        int brightness = 100;
    };

    // Whether audacious and audtool are on PATH.
    static bool installed();

    // Starts Audacious playing `files` (the first at once, the rest in the playlist after it) with
    // the plug-in `module`, and waits until the dock shows the picture; the dock is then made
    // `width` x `height` at the screen's top left, above the player's window.
    AudaciousPlayer(const std::filesystem::path& module, const std::vector<std::string>& files,
                    const Settings& settings, int width = 640, int height = 360);
    // Asks Audacious to quit, then stops it if it has not within a few seconds.
    ~AudaciousPlayer();
    AudaciousPlayer(const AudaciousPlayer&) = delete;
    AudaciousPlayer& operator=(const AudaciousPlayer&) = delete;

    // Empty once the picture shows; otherwise one line saying why it does not.
    const std::string& problem() const { return problem_; }
    pid_t pid() const { return audacious_ ? audacious_->pid() : -1; }
    bool running() { return audacious_ && audacious_->running(); }

    // audtool `args` run against this Audacious; its output, or nullopt when it failed.
    std::optional<std::string> audtool(const std::vector<std::string>& args);
    // The picture as the screen shows it now; nullopt while the dock is closed.
    std::optional<Picture> picture();
    // Closes the dock (the plug-in disabled, as its close button does) and waits until it has
    // gone; false when it did not.
    bool closeDock();
    // Opens it again (the plug-in enabled) and waits until the picture shows at the size asked
    // for at the start; false when it did not.
    bool openDock();
    // Makes the dock `width` x `height`; false when the picture did not follow.
    bool resizeDock(int width, int height);
    // Waits until Audacious says it is "playing", "paused" or "stopped".
    bool waitForStatus(const std::string& status);

  private:
    std::optional<std::string> pictureWindow();
    std::optional<std::string> dockWindow();
    bool showDock();

    ScratchDir folder_;
    std::unique_ptr<SessionBus> bus_;
    std::unique_ptr<ChildProcess> audacious_;
    EnvironmentChanges environment_;
    int width_ = 0, height_ = 0;
    std::string problem_;
};

} // namespace lumacore::cli::test
