#include "live/x11_wallpaper.h"

#include <algorithm>
#include <cstdint>

#include "live/sdl_display.h"
#include "live/surface_picture.h"
#include "live/x11_desktop_window.h"

namespace lumacore::cli {

X11Wallpaper::X11Wallpaper(SdlEvents& events, const WallpaperOptions& options)
    : events_(events), wanted_(options.monitor) {
    if (monitorsShown().empty()) {
        if (wanted_.empty()) throw PlayError("no monitor to put the wallpaper on");
        std::string names;
        for (const MonitorArea& monitor : monitors_.list())
            names += (names.empty() ? "" : ", ") + monitor.name;
        throw PlayError("no monitor named '" + wanted_ + "'; the monitors are: " + names);
    }
    followMonitors();
    monitors_.watch(outputs_.front().window.get());
}

std::vector<X11Wallpaper::Monitor> X11Wallpaper::monitorsShown() const {
    std::vector<Monitor> shown;
    for (const MonitorArea& area : monitors_.list())
        if (wanted_.empty() || area.name == wanted_)
            shown.push_back({area.name, {area.x, area.y, area.width, area.height}});
    return shown;
}

SdlWindow X11Wallpaper::openOn(const Monitor& monitor) const {
    SDL_ClearError();
    SdlWindow window(SDL_CreateWindow(
        title_.c_str(), monitor.bounds.x, monitor.bounds.y, monitor.bounds.w, monitor.bounds.h,
        SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR));
    if (!window)
        throw PlayError("no display: SDL could not open the wallpaper's window with " +
                        currentSdlDriver() + sdlReason());
    makeDesktopWindow(window.get());
    SDL_ShowWindow(window.get());
    // A window manager may have placed it by its own rules while mapping it.
    SDL_SetWindowPosition(window.get(), monitor.bounds.x, monitor.bounds.y);
    SDL_ClearError();
    if (SDL_GetWindowSurface(window.get()) == nullptr)
        throw PlayError("no display: SDL could not draw in the wallpaper's window with " +
                        currentSdlDriver() + sdlReason());
    return window;
}

bool X11Wallpaper::followMonitors() {
    const std::vector<Monitor> monitors = monitorsShown();
    std::vector<Output> outputs;
    for (const Monitor& monitor : monitors) {
        // The window a monitor of this name had, kept (and moved where it changed).
        const auto kept = std::find_if(outputs_.begin(), outputs_.end(), [&](const Output& o) {
            return o.window && o.monitor.name == monitor.name;
        });
        Output output{monitor, nullptr};
        if (kept != outputs_.end()) {
            output.window = std::move(kept->window);
            const SDL_Rect& was = kept->monitor.bounds;
            if (was.x != monitor.bounds.x || was.y != monitor.bounds.y)
                SDL_SetWindowPosition(output.window.get(), monitor.bounds.x, monitor.bounds.y);
            if (was.w != monitor.bounds.w || was.h != monitor.bounds.h)
                SDL_SetWindowSize(output.window.get(), monitor.bounds.w, monitor.bounds.h);
        } else {
            output.window = openOn(monitor);
        }
        outputs.push_back(std::move(output));
    }
    outputs_ = std::move(outputs); // the windows of monitors gone close here

    // The pictures keep the last size while no monitor is there.
    int width = 0, height = 0;
    for (const Output& output : outputs_) {
        if (std::int64_t(output.monitor.bounds.w) * output.monitor.bounds.h >
            std::int64_t(width) * height) {
            width = output.monitor.bounds.w;
            height = output.monitor.bounds.h;
        }
    }
    if (width == 0 || (width == width_ && height == height_)) return false;
    width_ = width;
    height_ = height;
    return true;
}

double X11Wallpaper::refreshRate() const {
    SDL_DisplayMode mode;
    const int display =
        outputs_.empty() ? -1 : SDL_GetWindowDisplayIndex(outputs_.front().window.get());
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60;
}

// The same picture into each window's own image, then all presented together once a refresh
// period has passed since the last.
void X11Wallpaper::show(const Bitmap& picture, bool scaled) {
    if (picture.width() <= 0 || picture.height() <= 0) return;
    for (const Output& output : outputs_)
        putPicture(picture, SDL_GetWindowSurface(output.window.get()), scaled);
    pacer_.pace(1.0 / refreshRate(), hold_);
    for (const Output& output : outputs_)
        SDL_UpdateWindowSurface(output.window.get());
}

double X11Wallpaper::untilNextPresent() const {
    return pacer_.untilNext(1.0 / refreshRate());
}

Bitmap X11Wallpaper::readBack() {
    if (outputs_.empty())
        throw PlayError("cannot read the wallpaper's picture back: its monitor is gone");
    SDL_ClearError();
    const SDL_Surface* window = SDL_GetWindowSurface(outputs_.front().window.get());
    Bitmap picture = window != nullptr ? pictureIn(*window) : Bitmap();
    if (picture.width() == 0)
        throw PlayError("cannot read the wallpaper's picture back" + sdlReason());
    return picture;
}

void X11Wallpaper::clientSize(int& width, int& height) const {
    width = width_;
    height = height_;
}

void X11Wallpaper::setTitle(const std::string& title) {
    title_ = title;
    for (const Output& output : outputs_)
        SDL_SetWindowTitle(output.window.get(), title.c_str());
}

// Keys and drops on the wallpaper's windows are the desktop's, not the program's; a change of
// the monitors comes first as Resized when the largest size changed.
std::optional<ScreenEvent> X11Wallpaper::nextEvent() {
    for (;;) {
        if (!queued_.empty()) {
            ScreenEvent event = std::move(queued_.front());
            queued_.pop_front();
            return event;
        }
        bool monitorsChanged = false;
        // The windows' own size and place follow the monitors', so a change there is checked too.
        std::optional<ScreenEvent> event = events_.next([&](const SDL_Event& raw) {
            monitorsChanged |=
                monitors_.changedBy(raw) || raw.type == SDL_DISPLAYEVENT ||
                (raw.type == SDL_WINDOWEVENT && (raw.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                                                 raw.window.event == SDL_WINDOWEVENT_MOVED));
        });
        if (monitorsChanged && followMonitors()) {
            ScreenEvent resized;
            resized.kind = ScreenEvent::Kind::Resized;
            queued_.push_back(resized);
        }
        if (event && event->kind != ScreenEvent::Kind::Key &&
            event->kind != ScreenEvent::Kind::Dropped && event->kind != ScreenEvent::Kind::Resized)
            queued_.push_back(std::move(*event));
        if (queued_.empty() && !event) return std::nullopt;
    }
}

} // namespace lumacore::cli
