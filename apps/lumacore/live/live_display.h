// The window side of the live commands (`play`, `listen`): the display opened, the settings
// file read and the command line laid over it, the window, the module runner drawing at the
// window's size, the keys that act on the display (full screen, module, mode, brightness, help,
// quit), resizes, the help over the picture, the timing log, and at the end the settings saved
// and the last picture dumped. Each command adds its clock and its own keys.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/display_settings.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "live/key_actions.h"
#include "live/live_options.h"
#include "live/live_screen.h"
#include "live/live_settings.h"
#include "live/terminal_keys.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

// One line on standard error, "lumacore: " first.
void say(const std::string& line);

// The checks of the options a live window takes, before anything is opened (the call rate as the
// refresh rate's stand-in when it is left to the display). Throws std::invalid_argument.
void checkLiveOptions(const LiveOptions& options);

class LiveDisplay {
  public:
    // Opens the display (throws PlayError "no display ..." first of all), reads the settings,
    // opens the window (or the wallpaper) and starts the runner on `calls`, which must outlive
    // the display.
    LiveDisplay(const LiveOptions& options, CallSource& calls);
    ~LiveDisplay();

    ModuleRunner& runner() { return *runner_; }
    // Render calls per second: the option, else the display's refresh rate.
    double rate() const { return rate_; }
    // Seconds between the display's refreshes.
    double refreshPeriod() const { return 1.0 / screen_->refreshRate(); }
    void setTitle(const std::string& title);

    // Takes the window's events. The display's own keys act here; the command's keys (pause,
    // seek, next, previous) are returned in order, files dropped on the window in `dropped`.
    // `quit` becomes true on Q, when the window is closed, or when a signal asked the program to
    // stop (installInterruptRequests).
    std::vector<KeyAction> takeEvents(std::vector<std::string>& dropped, bool& quit);

    // Shows the picture (with the help over it when asked) and logs its present with `time`.
    void show(const Bitmap& picture, double time);
    // Whether the window shows the runner's picture as it is now: nothing changed it since the
    // last show() and no event since asks for it again (an expose, a resize, a key).
    bool current() const;

    // Sleeps until the window has an event or `seconds` have passed: a keypress, a resize or an
    // expose is answered at once, and so is the waker's wake-up.
    void waitForEvents(double seconds);
    // Wakes waitForEvents() from any thread: the window is told of something else to do. Safe to
    // call while this display lives.
    std::function<void()> waker() const;
    // Seconds until the next picture reaches the screen.
    double untilNextPresent() const { return screen_->untilNextPresent(); }
    // For a caller that shows a picture only when it has a new one: presents go out at once
    // rather than held to the refresh rate (where the display itself does not wait).
    void presentAtOnce() { screen_->holdPresents(false); }

    // Saves what was changed in the window and, when `dump`, writes the dump (a run that
    // showed nothing writes none); false when the dump failed.
    bool finish(bool dump = true);

  private:
    void onKey(KeyAction action, bool repeat, std::vector<KeyAction>& others, bool& quit);
    void onResize();
    void nextModule();
    void saveSettings();
    bool writeDump();

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    LiveOptions options_;
    std::unique_ptr<DisplayConnection> display_;
    std::string settingsPath_;
    DisplaySettings loaded_;
    WindowChanges changes_;
    std::unique_ptr<LiveScreen> screen_;
    std::unique_ptr<TerminalKeys> terminalKeys_; // the wallpaper's keys
    FreetypeTextRenderer text_;                  // the banner's and the help's
    std::unique_ptr<ModuleRunner> runner_;
    double rate_ = 60;
    std::unique_ptr<std::FILE, FileCloser> timingLog_;
    bool help_ = false;
    Bitmap helpPicture_;
    double lastTime_ = 0;
    std::int64_t shownChanges_ = -1; // the runner's picture changes when last shown
    bool stale_ = true;              // an event since then asks for the picture again
};

} // namespace lumacore::cli
