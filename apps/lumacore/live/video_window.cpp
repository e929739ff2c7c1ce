// The SDL window, its renderer and its one streaming texture.
#include "live/video_window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace lumacore::cli {

namespace {

// Whether the renderer draws through OpenGL rasterised on the processor (Mesa's llvmpipe,
// softpipe or swrast, as on a machine without a graphics driver or under Xvfb). Its threads then
// spend more than a core on copying one texture to the screen at 1080p, where SDL's own blitter
// into the window's shared-memory image takes a fifth of one.
bool openGlOnTheProcessor(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
        return false;
    using GetString = const unsigned char* (*)(unsigned int);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    constexpr unsigned int kGlRenderer = 0x1F01;
    const auto* name = reinterpret_cast<const char*>(getString(kGlRenderer));
    if (name == nullptr) return false;
    const std::string description(name);
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (description.find(software) != std::string::npos) return true;
    return false;
}

// "the 'x11' video driver", or for a list SDL tries in turn ("x11,wayland") "the 'x11' or
// 'wayland' video driver".
std::string driversNamed(const std::string& list) {
    std::string names;
    std::size_t count = 0;
    for (std::size_t at = 0; at <= list.size(); ++count) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        names += std::string(count == 0 ? "" : " or ") + "'" + list.substr(at, end - at) + "'";
        at = end + 1;
    }
    return "the " + names + " video driver";
}

// The video driver SDL is using, named as above.
std::string currentDriver() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driversNamed(driver != nullptr ? driver : "unknown");
}

} // namespace

SdlSubsystem openDisplay() {
    // The desktop's own display and nothing else: where it cannot be reached, SDL would fall
    // back to drawing off screen and the program would run with no window to be seen. (A
    // SDL_VIDEODRIVER the user sets still wins.)
    std::string drivers, named;
    for (const auto& [variable, driver] :
         {std::pair{"DISPLAY", "x11"}, {"WAYLAND_DISPLAY", "wayland"}}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0') continue;
        drivers += std::string(drivers.empty() ? "" : ",") + driver;
        named += std::string(named.empty() ? "" : " or ") + variable + "=" + value;
    }
    if (drivers.empty()) throw PlayError("no display: neither DISPLAY nor WAYLAND_DISPLAY is set");
    // The program's own handlers stop it cleanly on SIGINT and SIGTERM; SDL's would not see them.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
    // Whole pixels: the pictures are drawn for the screen's pixels, never smoothed.
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    // The desktop keeps its compositor (and other windows their refresh) while we play.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Without a graphics driver the software renderer draws into the window's own image, not
    // through a texture on OpenGL (which would again run on the processor).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen != nullptr && *chosen != '\0')
        return SdlSubsystem(SDL_INIT_VIDEO, "no display: SDL could not connect with " +
                                                driversNamed(chosen) +
                                                ", which SDL_VIDEODRIVER names");
    return SdlSubsystem(SDL_INIT_VIDEO, "no display: SDL could not connect to " + named + " with " +
                                            driversNamed(drivers));
}

VideoWindow::VideoWindow(const std::string& title, const WindowRect& client, bool positioned,
                         bool fullscreen)
    : windowed_(client) {
    const int x = positioned ? client.x : SDL_WINDOWPOS_CENTERED;
    const int y = positioned ? client.y : SDL_WINDOWPOS_CENTERED;
    SDL_ClearError();
    window_.reset(SDL_CreateWindow(title.c_str(), x, y, client.width, client.height,
                                   SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!window_)
        throw PlayError("no display: SDL could not open a window with " + currentDriver() +
                        sdlReason());
    renderer_.reset(SDL_CreateRenderer(window_.get(), -1,
                                       SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC));
    SDL_RendererInfo info;
    if (renderer_ && (openGlOnTheProcessor(renderer_.get()) ||
                      SDL_GetRendererInfo(renderer_.get(), &info) != 0 ||
                      (info.flags & SDL_RENDERER_SOFTWARE) != 0))
        renderer_.reset(); // the window's own image, paced here
    SDL_ClearError();
    if (!renderer_ && SDL_GetWindowSurface(window_.get()) == nullptr)
        throw PlayError("no display: SDL could not draw in a window with " + currentDriver() +
                        sdlReason());
    vsync_ = renderer_ && (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
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

std::vector<Rect> VideoWindow::displays() {
    std::vector<Rect> screens;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0)
            screens.push_back({bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h});
    }
    return screens;
}

SDL_Rect VideoWindow::placement(int pictureWidth, int pictureHeight) const {
    int width = 0, height = 0;
    clientSize(width, height);
    SDL_Rect target{0, 0, width, height};
    if (scaled_) {
        const int factor = std::max(std::min(width / pictureWidth, height / pictureHeight), 1);
        target.w = pictureWidth * factor;
        target.h = pictureHeight * factor;
        target.x = (width - target.w) / 2;
        target.y = (height - target.h) / 2;
    }
    return target;
}

void VideoWindow::show(const Bitmap& picture, bool scaled) {
    if (picture.width() <= 0 || picture.height() <= 0) return;
    scaled_ = scaled;
    if (renderer_)
        toTexture(picture);
    else
        toSurface(picture);
    showAgain();
}

// The graphics card's way: the picture into the streaming texture, drawn by the renderer.
void VideoWindow::toTexture(const Bitmap& picture) {
    if (!texture_ || textureWidth_ != picture.width() || textureHeight_ != picture.height()) {
        SDL_ClearError();
        texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_RGB888,
                                         SDL_TEXTUREACCESS_STREAMING, picture.width(),
                                         picture.height()));
        if (!texture_) throw PlayError("cannot make the window's picture" + sdlReason());
        textureWidth_ = picture.width();
        textureHeight_ = picture.height();
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_.get(), nullptr, &pixels, &pitch) != 0) return;
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width()) * 4;
    auto* out = static_cast<std::uint8_t*>(pixels);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(out + static_cast<std::ptrdiff_t>(y) * pitch, picture.row(y), rowBytes);
    SDL_UnlockTexture(texture_.get());
}

// Without one: the picture blitted straight into the window's own image (for the history at the
// window's size and format, one copy of rows).
void VideoWindow::toSurface(const Bitmap& picture) {
    SDL_Surface* window = SDL_GetWindowSurface(window_.get());
    if (window == nullptr) return;
    // The rasteriser's rows as a surface, read in place.
    const std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)> source(
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(picture.row(0)),
                                           picture.width(), picture.height(), 32,
                                           picture.stride() * 4, SDL_PIXELFORMAT_RGB888),
        SDL_FreeSurface);
    if (!source) return;
    SDL_SetSurfaceBlendMode(source.get(), SDL_BLENDMODE_NONE);
    SDL_Rect target = placement(picture.width(), picture.height());
    if (scaled_) {
        SDL_FillRect(window, nullptr, SDL_MapRGB(window->format, 0, 0, 0));
        SDL_BlitScaled(source.get(), nullptr, window, &target);
    } else {
        SDL_BlitSurface(source.get(), nullptr, window, &target);
    }
}

void VideoWindow::showAgain() {
    if (renderer_) {
        SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
        SDL_RenderClear(renderer_.get());
        if (texture_) {
            const SDL_Rect target = placement(textureWidth_, textureHeight_);
            SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, &target);
        }
        pace();
        SDL_RenderPresent(renderer_.get());
    } else {
        pace();
        SDL_UpdateWindowSurface(window_.get());
    }
}

double VideoWindow::untilNextPresent() const {
    if (lastPresent_ == 0) return 0;
    const double period = 1.0 / refreshRate();
    const double since = static_cast<double>(SDL_GetPerformanceCounter() - lastPresent_) /
                         static_cast<double>(SDL_GetPerformanceFrequency());
    return std::clamp(period - since, 0.0, period);
}

// Without vsync nothing waits for the display: presents are held to its refresh rate here.
void VideoWindow::pace() {
    const Uint64 now = SDL_GetPerformanceCounter();
    if (!vsync_ && hold_ && lastPresent_ != 0) {
        const double period = 1.0 / refreshRate();
        const double since = static_cast<double>(now - lastPresent_) /
                             static_cast<double>(SDL_GetPerformanceFrequency());
        if (since < period) SDL_Delay(static_cast<Uint32>((period - since) * 1000));
    }
    lastPresent_ = SDL_GetPerformanceCounter();
}

Bitmap VideoWindow::readBack() {
    int width = 0, height = 0;
    clientSize(width, height);
    Bitmap picture(width, height);
    // SDL's XRGB8888 words are the bitmap's 0x00RRGGBB ones, the unused byte aside.
    const int pitch = picture.stride() * 4;
    int failed = 0;
    SDL_ClearError();
    if (renderer_) {
        // What the last present showed, drawn once more: read before presenting, as SDL asks.
        SDL_RenderClear(renderer_.get());
        if (texture_) {
            const SDL_Rect target = placement(textureWidth_, textureHeight_);
            SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, &target);
        }
        failed = SDL_RenderReadPixels(renderer_.get(), nullptr, SDL_PIXELFORMAT_RGB888,
                                      picture.row(0), pitch);
        SDL_RenderPresent(renderer_.get());
    } else {
        SDL_Surface* window = SDL_GetWindowSurface(window_.get());
        failed = window == nullptr || window->w != width || window->h != height ||
                 SDL_ConvertPixels(width, height, window->format->format, window->pixels,
                                   window->pitch, SDL_PIXELFORMAT_RGB888, picture.row(0), pitch);
    }
    if (failed != 0) throw PlayError("cannot read the window's picture back" + sdlReason());
    for (int y = 0; y < height; ++y)
        for (std::uint32_t* p = picture.row(y); p != picture.row(y) + width; ++p)
            *p &= 0xFFFFFF;
    return picture;
}

void VideoWindow::clientSize(int& width, int& height) const {
    if (!renderer_ || SDL_GetRendererOutputSize(renderer_.get(), &width, &height) != 0)
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
