// The live commands' window: settings, keys, resizes, help, timing log, dump.
#include "live/live_display.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "host/file_error.h"
#include "host/posix/temporary_files.h"
#include "host/xdg_settings_path.h"
#include "live/display_choice.h"
#include "live/help_overlay.h"
#include "output/sinks.h"
#include "pipeline/scope_fit.h"

namespace lumacore::cli {

void say(const std::string& line) {
    std::fprintf(stderr, "lumacore: %s\n", line.c_str());
}

void checkLiveOptions(const LiveOptions& options) {
    if (options.sizeGiven) {
        if (std::string problem = checkSize(options.width, options.height); !problem.empty())
            throw std::invalid_argument(problem);
    }
    DisplayOptions checked = options;
    if (checked.rate == 0) checked.rate = 60; // the display's refresh rate, known once it is open
    if (std::string problem = checkDisplayOptions(checked); !problem.empty())
        throw std::invalid_argument(problem);
}

LiveDisplay::LiveDisplay(const LiveOptions& options, CallSource& calls)
    : options_(options), display_(openDisplay(options.video, options.wallpaper)) {
    // The settings: the file's, with the command line winning.
    bool stored = false;
    try {
        settingsPath_ = userSettingsPath();
        std::error_code error;
        stored = std::filesystem::exists(settingsPath_, error);
    } catch (const FileError& error) {
        say(std::string(error.what()) + "; settings are not kept");
    }
    if (!settingsPath_.empty()) {
        SettingsLoad load =
            loadDisplaySettings(settingsPath_, screenGeometryOf(display_->displays()));
        if (!load.problem.empty()) say(load.problem);
        loaded_ = load.settings;
    }
    StartDisplay start = startDisplay(options_, loaded_, stored);

    if (options_.wallpaper) {
        screen_ = display_->openWallpaper(options_.wallpaperOptions);
        terminalKeys_ = std::make_unique<TerminalKeys>(screen_->waker());
    } else {
        screen_ =
            display_->openWindow("Lumacore", start.window, start.positioned, options_.fullscreen);
    }
    rate_ = options_.rate != 0 ? options_.rate : screen_->refreshRate();
    if (start.display.module == ModuleKind::History) {
        screen_->clientSize(start.display.width, start.display.height);
        start.display.width = std::max(start.display.width, 1);
        start.display.height = std::max(start.display.height, 1);
    } else {
        start.display.width = kScopeWidth;
        start.display.height = kScopeHeight;
    }
    runner_ = std::make_unique<ModuleRunner>(start.display, "", calls, text_);
    runner_->boundCatchUp(true); // a window that fell behind shows the present at once
    if (const char* log = std::getenv("LUMACORE_TIMING_LOG"); log != nullptr && *log != '\0')
        timingLog_.reset(std::fopen(log, "a"));
    if (timingLog_) std::setvbuf(timingLog_.get(), nullptr, _IOLBF, 0); // whole lines for readers
}

LiveDisplay::~LiveDisplay() {
    terminalKeys_.reset(); // its thread wakes the screen
}

void LiveDisplay::setTitle(const std::string& title) {
    runner_->setTitle(title);
    screen_->setTitle("Lumacore - " + title);
}

std::vector<KeyAction> LiveDisplay::takeEvents(std::vector<std::string>& dropped, bool& quit) {
    // A signal asks to stop as Q does, once the events that came before it have been taken.
    const bool interrupted = interruptRequested() != 0;
    std::vector<KeyAction> others;
    while (const auto event = screen_->nextEvent()) {
        switch (event->kind) {
        case ScreenEvent::Kind::Closed:
            quit = true;
            break;
        case ScreenEvent::Kind::Key:
            stale_ = true;
            onKey(event->action, event->repeat, others, quit);
            break;
        case ScreenEvent::Kind::Resized:
            stale_ = true;
            onResize();
            break;
        case ScreenEvent::Kind::Exposed:
            stale_ = true;
            break;
        case ScreenEvent::Kind::Dropped:
            dropped.insert(dropped.end(), event->files.begin(), event->files.end());
            break;
        }
    }
    if (terminalKeys_) {
        for (const KeyAction action : terminalKeys_->take()) {
            stale_ = true;
            onKey(action, false, others, quit);
        }
    }
    if (interrupted) quit = true;
    return others;
}

void LiveDisplay::onKey(KeyAction action, bool repeat, std::vector<KeyAction>& others, bool& quit) {
    if (help_ && action != KeyAction::Help) help_ = false; // until the next key
    const bool repeats = action == KeyAction::SeekBack || action == KeyAction::SeekForward ||
                         action == KeyAction::Brighter || action == KeyAction::Darker;
    if (repeat && !repeats) return;
    switch (action) {
    case KeyAction::Quit:
        quit = true;
        break;
    case KeyAction::Pause:
    case KeyAction::SeekBack:
    case KeyAction::SeekForward:
    case KeyAction::NextEntry:
    case KeyAction::PreviousEntry:
        others.push_back(action);
        break;
    case KeyAction::ToggleFullscreen:
        screen_->setFullscreen(!screen_->fullscreen());
        break;
    case KeyAction::LeaveFullscreen:
        screen_->setFullscreen(false);
        break;
    case KeyAction::NextModule:
        nextModule();
        break;
    case KeyAction::ToggleMode: {
        const bool threeD = !runner_->display().threeD;
        runner_->setMode(threeD);
        changes_.threeD = threeD;
        break;
    }
    case KeyAction::Brighter:
    case KeyAction::Darker: {
        const float brightness = steppedBrightness(runner_->display().brightness,
                                                   action == KeyAction::Brighter ? 1 : -1);
        runner_->setBrightness(brightness);
        changes_.brightness = brightness;
        break;
    }
    case KeyAction::Help:
        help_ = !help_;
        break;
    default:
        break;
    }
}

void LiveDisplay::onResize() {
    if (runner_->display().module != ModuleKind::History) return;
    int width = 0, height = 0;
    screen_->clientSize(width, height);
    const Display& now = runner_->display();
    if (width > 0 && height > 0 && (width != now.width || height != now.height))
        runner_->setClientSize(width, height);
}

void LiveDisplay::nextModule() {
    const ModuleKind order[] = {ModuleKind::History, ModuleKind::Scope, ModuleKind::VuMeter};
    const auto at = std::find(std::begin(order), std::end(order), runner_->display().module);
    const ModuleKind next = at + 1 == std::end(order) ? order[0] : *(at + 1);
    if (next == ModuleKind::History) {
        int width = 0, height = 0;
        screen_->clientSize(width, height);
        runner_->setModule(next, std::max(width, 1), std::max(height, 1));
    } else {
        runner_->setModule(next, kScopeWidth, kScopeHeight);
    }
    changes_.module = next;
}

bool LiveDisplay::current() const {
    return !stale_ && shownChanges_ == runner_->pictureChanges();
}

void LiveDisplay::waitForEvents(double seconds) {
    screen_->waitForEvents(seconds);
}

std::function<void()> LiveDisplay::waker() const {
    return screen_->waker();
}

void LiveDisplay::show(const Bitmap& picture, double time) {
    lastTime_ = time;
    shownChanges_ = runner_->pictureChanges();
    stale_ = false;
    const bool scaled = runner_->display().module != ModuleKind::History;
    if (help_) {
        helpPicture_ = picture;
        drawKeyHelp(helpPicture_, text_);
        screen_->show(helpPicture_, scaled);
    } else {
        screen_->show(picture, scaled);
    }
    if (timingLog_) {
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        std::fprintf(timingLog_.get(), "%lld %.6f %.6f\n", static_cast<long long>(now.count()),
                     time, runner_->lastCallTime());
    }
}

bool LiveDisplay::finish(bool dump) {
    saveSettings();
    return !dump || writeDump();
}

void LiveDisplay::saveSettings() {
    if (settingsPath_.empty()) return;
    // The window's place is always kept, as the display window keeps it (a wallpaper has
    // none); a size that --size gave is written only when the window was resized away from it.
    WindowRect now = screen_->windowedRect();
    if (options_.sizeGiven && now.width == options_.width && now.height == options_.height) {
        const Rect& stored = loaded_.history.window;
        now.width = stored.right - stored.left;
        now.height = stored.bottom - stored.top;
    }
    if (!display_->placesWindows()) { // the size is the window's, the place the one kept
        now.x = loaded_.history.window.left;
        now.y = loaded_.history.window.top;
    }
    if (now.width > 0) changes_.window = now;
    const DisplaySettings out = settingsToSave(loaded_, changes_, runner_->display().module);
    if (out == loaded_) return;
    if (const std::string problem = saveDisplaySettings(settingsPath_, out, &loaded_);
        !problem.empty())
        say(problem);
}

bool LiveDisplay::writeDump() {
    if (options_.dump.empty()) return true;
    try {
        // The picture as the window shows it now, keys handled last (a module changed just
        // before quitting) included.
        show(runner_->picture(), lastTime_);
        const Bitmap shown = screen_->readBack();
        SinkOptions picture;
        picture.width = shown.width();
        picture.height = shown.height();
        const std::unique_ptr<FrameSink> still = openPngStill(options_.dump, picture);
        still->write(shown);
        still->finish();
        return true;
    } catch (const std::runtime_error& error) {
        say(error.what());
        return false;
    }
}

} // namespace lumacore::cli
