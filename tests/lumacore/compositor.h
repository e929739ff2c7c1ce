// A private Wayland compositor for one test: sway on its headless backend (software rendering,
// no X11), run as the unprivileged user `nobody` since sway refuses root, in a runtime folder of
// its own. While it lives, WAYLAND_DISPLAY and XDG_RUNTIME_DIR point this process and the
// children it starts at it (and DISPLAY is unset). It adds and switches off outputs, takes an
// output's picture (grim), starts a terminal (foot) and types keys (wtype).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "png_reader.h"

namespace lumacore::cli::test {

class Compositor {
  public:
    // Whether sway, swaymsg and grim are there (foot and wtype are asked for by the tests that
    // use them).
    static bool installed();

    // Starts sway with HEADLESS-1 at `width` x `height` and `config`'s further lines.
    explicit Compositor(int width = 1280, int height = 720, const std::string& config = "");
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    // Empty when sway runs; otherwise one line saying why not.
    const std::string& problem() const { return problem_; }

    // A sway command (swaymsg); whether it succeeded.
    bool command(const std::string& text);
    // A new headless output at `width` x `height`; its name, empty when sway made none.
    std::string addOutput(int width, int height);
    // Switches an output off: its surfaces are closed, as when a monitor is unplugged.
    bool switchOff(const std::string& output);
    // The output's picture as the compositor drew it last; nullopt when grim could not take it.
    std::optional<lumacore::test::DecodedPng> screenshot(const std::string& output);
    // Whether a window of `appId` is on the desktop (mapped: it has shown a picture).
    bool showsWindow(const std::string& appId);
    // Whether a window on the desktop has the title `title`.
    bool showsTitle(const std::string& title);
    // Types `text` into the focused window.
    bool type(const std::string& text);
    // Presses `key` (an XKB key name) and holds it down while the child returned lives.
    std::unique_ptr<ChildProcess> holdKey(const std::string& key);
    // Ends sway, as a compositor that crashes or is quit under its clients.
    void stop();
    // A foot terminal; nullptr when it did not start.
    std::unique_ptr<ChildProcess> startTerminal();

  private:
    std::vector<std::string> outputNames();
    // Whether sway's tree of containers has `key` with the text `value`.
    bool treeHas(const std::string& key, const std::string& value);

    std::filesystem::path folder_; // the runtime folder, nobody's
    std::filesystem::path files_;  // ours: the configuration, the log, the pictures
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> keyboard_; // keeps the seat's keyboard
    std::string ipc_;
    std::string problem_;
    EnvironmentChanges previous_;
};

} // namespace lumacore::cli::test
