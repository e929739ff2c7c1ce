// A private X display for one test: an Xvfb server of 1280 x 1024 with, when asked, a window
// manager (openbox), since desktop full screen is the window manager's to grant. While it lives,
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

    // Whether Xvfb and xdotool are there (and openbox, when `manager` asks for it).
    static bool installed(Manager manager = Manager::None);

    explicit VirtualDisplay(Manager manager = Manager::None);
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
