// The SDL window and its own image.
#include "live/video_window.h"

#include "live/sdl_display.h"
#include "live/surface_picture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace lumacore::cli {

VideoWindow::VideoWindow(SdlEvents& events, const std::string& title, const WindowRect& client,
                         bool positioned, bool fullscreen)
    : events_(events), windowed_(client) {
    const int x = positioned ? client.x : SDL_WINDOWPOS_CENTERED;
    const int y = positioned ? client.y : SDL_WINDOWPOS_CENTERED;
    SDL_ClearError();
    window_.reset(SDL_CreateWindow(title.c_str(), x, y, client.width, client.height,
                                   SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!window_)
        throw PlayError("no display: SDL could not open a window with " + currentSdlDriver() +
                        sdlReason());
    SDL_ClearError();
    if (SDL_GetWindowSurface(window_.get()) == nullptr)
        throw PlayError("no display: SDL could not draw in a window with " + currentSdlDriver() +
                        sdlReason());
    if (!positioned) windowed_ = windowedRect();
    if (fullscreen) setFullscreen(true);
}

double VideoWindow::refreshRate() const {
    SDL_DisplayMode mode;
    const int display = SDL_GetWindowDisplayIndex(window_.get());
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60;
}

// The picture blitted straight into the window's own image (for the history at the window's
// size and format, one copy of rows), presented once a refresh period has passed since the last.
void VideoWindow::show(const Bitmap& picture, bool scaled) {
    if (picture.width() <= 0 || picture.height() <= 0) return;
    if (!putPicture(picture, SDL_GetWindowSurface(window_.get()), scaled)) return;
    pacer_.pace(1.0 / refreshRate(), hold_);
    SDL_UpdateWindowSurface(window_.get());
}

double VideoWindow::untilNextPresent() const {
    return pacer_.untilNext(1.0 / refreshRate());
}

Bitmap VideoWindow::readBack() {
    int width = 0, height = 0;
    clientSize(width, height);
    SDL_ClearError();
    const SDL_Surface* window = SDL_GetWindowSurface(window_.get());
    Bitmap picture;
    if (window != nullptr && window->w == width && window->h == height)
        picture = pictureIn(*window);
    if (picture.width() == 0)
        throw PlayError("cannot read the window's picture back" + sdlReason());
    return picture;
}

void VideoWindow::clientSize(int& width, int& height) const {
    SDL_GetWindowSize(window_.get(), &width, &height);
}

WindowRect VideoWindow::windowedRect() const {
    if (fullscreen_) return windowed_;
    WindowRect rect;
    SDL_GetWindowPosition(window_.get(), &rect.x, &rect.y);
    SDL_GetWindowSize(window_.get(), &rect.width, &rect.height);
    // The frame's corner: a window manager puts the frame where a window is asked to go.
    int top = 0, left = 0;
    if (SDL_GetWindowBordersSize(window_.get(), &top, &left, nullptr, nullptr) == 0) {
        rect.x -= left;
        rect.y -= top;
    }
    return rect;
}

void VideoWindow::setFullscreen(bool on) {
    if (on == fullscreen_) return;
    if (on) windowed_ = windowedRect();
    if (SDL_SetWindowFullscreen(window_.get(), on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
        return; // the window stays as it was
    fullscreen_ = on;
    if (!on) { // back where it was, also where no window manager restores it
        SDL_SetWindowSize(window_.get(), windowed_.width, windowed_.height);
        SDL_SetWindowPosition(window_.get(), windowed_.x, windowed_.y);
    }
}

void VideoWindow::setTitle(const std::string& title) {
    SDL_SetWindowTitle(window_.get(), title.c_str());
}

} // namespace lumacore::cli
