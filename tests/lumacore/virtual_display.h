// A private X display for one test: an Xvfb server of 1280 x 1024 with, when asked, a window
// manager (openbox), since desktop full screen is the window manager's to grant; or, for the
// monitors that a wallpaper follows, which Xvfb cannot have, Xorg with the dummy driver and
// several monitors of 1920 x 1080 side by side (outputs DUMMY0, DUMMY1 and on, which xrandr can
// turn off, move and give other modes). While it lives,
// DISPLAY points every child the test starts (and xdotool) at it, so that no other test's
// windows share its screen or take its keyboard focus.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "child_process.h"

namespace lumacore::cli::test {

class VirtualDisplay {
  public:
    enum class Manager { None, Openbox };

    // Whether Xvfb and xdotool are there (and openbox, when `manager` asks for it; Xorg, its
    // dummy driver, xrandr and the root user's rights for more than one monitor).
    static bool installed(Manager manager = Manager::None, int monitors = 1);

    explicit VirtualDisplay(Manager manager = Manager::None, int monitors = 1);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when the display (and its window manager) runs; otherwise one line saying why not.
    const std::string& problem() const { return problem_; }
    // The value of DISPLAY, ":N".
    const std::string& name() const { return name_; }

  private:
    std::filesystem::path folder_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> manager_;
    std::string name_;
    std::string problem_;
    bool exported_ = false;
    std::optional<std::string> previous_; // DISPLAY before
};

} // namespace lumacore::cli::test
