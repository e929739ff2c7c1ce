// The toplevel's configure sequence: xdg_toplevel.configure gives the size and the states,
// xdg_surface.configure closes the sequence and is acknowledged before the next commit.
#include "live/wayland_window.h"

#include <algorithm>

#include "live/play_error.h"

namespace lumacore::cli {

const xdg_surface_listener WaylandWindow::kSurfaceListener = {
    .configure =
        [](void* data, xdg_surface*, std::uint32_t serial) {
            static_cast<WaylandWindow*>(data)->configured(serial);
        },
};

const xdg_toplevel_listener WaylandWindow::kToplevelListener = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array* states) {
            auto* self = static_cast<WaylandWindow*>(data);
            self->offeredWidth_ = width;
            self->offeredHeight_ = height;
            self->offeredFullscreen_ = false;
            const auto* state = static_cast<const std::uint32_t*>(states->data);
            for (std::size_t i = 0; i < states->size / sizeof(*state); ++i)
                if (state[i] == XDG_TOPLEVEL_STATE_FULLSCREEN) self->offeredFullscreen_ = true;
        },
    .close =
        [](void* data, xdg_toplevel*) {
            static_cast<WaylandWindow*>(data)->events_.push_back(
                screenEvent(ScreenEvent::Kind::Closed));
        },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

WaylandWindow::WaylandWindow(std::shared_ptr<WaylandClient> client, const std::string& title,
                             const WindowRect& client_area, bool fullscreen)
    : client_(std::move(client)), width_(std::max(client_area.width, 1)),
      height_(std::max(client_area.height, 1)), windowed_{0, 0, width_, height_} {
    if (!client_->wmBase())
        throw PlayError("this Wayland compositor has no xdg_wm_base, so Lumacore cannot open a "
                        "window on it");
    surface_ = std::make_unique<PacedSurface>(*client_);
    surface_->onRescale([this] { events_.push_back(screenEvent(ScreenEvent::Kind::Resized)); });
    xdgSurface_.reset(xdg_wm_base_get_xdg_surface(client_->wmBase(), surface_->surface()));
    xdg_surface_add_listener(xdgSurface_.get(), &kSurfaceListener, this);
    toplevel_.reset(xdg_surface_get_toplevel(xdgSurface_.get()));
    xdg_toplevel_add_listener(toplevel_.get(), &kToplevelListener, this);
    xdg_toplevel_set_app_id(toplevel_.get(), "lumacore");
    xdg_toplevel_set_title(toplevel_.get(), title.c_str());
    if (client_->decorations()) {
        decoration_.reset(zxdg_decoration_manager_v1_get_toplevel_decoration(client_->decorations(),
                                                                             toplevel_.get()));
        zxdg_toplevel_decoration_v1_set_mode(decoration_.get(),
                                             ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    }
    if (fullscreen) setFullscreen(true);
    client_->addHooks(this);
    wl_surface_commit(surface_->surface()); // no buffer: asks for the first configure
    client_->roundtrip();
    if (client_->lost() || !configured_)
        throw PlayError("the Wayland compositor did not configure Lumacore's window");
}

WaylandWindow::~WaylandWindow() {
    client_->removeHooks(this);
    decoration_.reset();
    toplevel_.reset();
    xdgSurface_.reset();
    surface_.reset();
    if (!client_->lost()) wl_display_flush(client_->display());
}

void WaylandWindow::configured(std::uint32_t serial) {
    xdg_surface_ack_configure(xdgSurface_.get(), serial);
    fullscreen_ = offeredFullscreen_;
    const int width = offeredWidth_ > 0 ? offeredWidth_ : width_;
    const int height = offeredHeight_ > 0 ? offeredHeight_ : height_;
    const bool resized = width != width_ || height != height_;
    width_ = width;
    height_ = height;
    if (!fullscreen_) windowed_ = {0, 0, width_, height_};
    surface_->configure(width_, height_);
    if (!configured_) {
        configured_ = true;
        events_.push_back(screenEvent(ScreenEvent::Kind::Exposed));
    } else if (resized) {
        events_.push_back(screenEvent(ScreenEvent::Kind::Resized));
    }
}

void WaylandWindow::show(const Bitmap& picture, bool scaled) {
    if (hold_)
        client_->dispatchUntil([this] { return surface_->canPresent(); },
                               surface_->untilNextFrame());
    surface_->show(picture, scaled ? PictureFit::WholeFactor : PictureFit::Copy);
}

double WaylandWindow::untilNextPresent() const {
    return surface_->untilNextFrame();
}

void WaylandWindow::clientSize(int& width, int& height) const {
    width = surface_->width() > 0 ? surface_->width() : width_;
    height = surface_->height() > 0 ? surface_->height() : height_;
}

void WaylandWindow::setFullscreen(bool on) {
    if (on)
        xdg_toplevel_set_fullscreen(toplevel_.get(), nullptr);
    else
        xdg_toplevel_unset_fullscreen(toplevel_.get());
    fullscreen_ = on;
    wl_display_flush(client_->display());
}

void WaylandWindow::setTitle(const std::string& title) {
    xdg_toplevel_set_title(toplevel_.get(), title.c_str());
}

void WaylandWindow::waitForEvents(double seconds) {
    if (events_.empty()) client_->dispatch(seconds);
}

void WaylandWindow::key(wl_surface* focus, const ScreenEvent& event) {
    if (focus == surface_->surface()) events_.push_back(event);
}

void WaylandWindow::connectionLost() {
    events_.push_back(screenEvent(ScreenEvent::Kind::Closed));
}

} // namespace lumacore::cli
