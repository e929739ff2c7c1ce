// Each object's own destructor request; objects whose interface has a release request since
// some version use it when the compositor gave that version.
#include "live/wayland_handles.h"

#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace lumacore::cli {

void WaylandDeleter::operator()(wl_buffer* object) const {
    wl_buffer_destroy(object);
}
void WaylandDeleter::operator()(wl_callback* object) const {
    wl_callback_destroy(object);
}
void WaylandDeleter::operator()(wl_compositor* object) const {
    wl_compositor_destroy(object);
}
void WaylandDeleter::operator()(wl_display* object) const {
    wl_display_disconnect(object);
}
void WaylandDeleter::operator()(wl_region* object) const {
    wl_region_destroy(object);
}
void WaylandDeleter::operator()(wl_registry* object) const {
    wl_registry_destroy(object);
}
void WaylandDeleter::operator()(wl_shm* object) const {
    wl_shm_destroy(object);
}
void WaylandDeleter::operator()(wl_shm_pool* object) const {
    wl_shm_pool_destroy(object);
}
void WaylandDeleter::operator()(wl_surface* object) const {
    wl_surface_destroy(object);
}
void WaylandDeleter::operator()(xdg_surface* object) const {
    xdg_surface_destroy(object);
}
void WaylandDeleter::operator()(xdg_toplevel* object) const {
    xdg_toplevel_destroy(object);
}
void WaylandDeleter::operator()(xdg_wm_base* object) const {
    xdg_wm_base_destroy(object);
}
void WaylandDeleter::operator()(xkb_context* object) const {
    xkb_context_unref(object);
}
void WaylandDeleter::operator()(xkb_keymap* object) const {
    xkb_keymap_unref(object);
}
void WaylandDeleter::operator()(xkb_state* object) const {
    xkb_state_unref(object);
}

void WaylandDeleter::operator()(zwlr_layer_surface_v1* object) const {
    zwlr_layer_surface_v1_destroy(object);
}
void WaylandDeleter::operator()(zxdg_decoration_manager_v1* object) const {
    zxdg_decoration_manager_v1_destroy(object);
}
void WaylandDeleter::operator()(zxdg_toplevel_decoration_v1* object) const {
    zxdg_toplevel_decoration_v1_destroy(object);
}

void WaylandDeleter::operator()(wl_keyboard* object) const {
    if (wl_keyboard_get_version(object) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
        wl_keyboard_release(object);
    else
        wl_keyboard_destroy(object);
}

void WaylandDeleter::operator()(wl_output* object) const {
    if (wl_output_get_version(object) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(object);
    else
        wl_output_destroy(object);
}

void WaylandDeleter::operator()(wl_seat* object) const {
    if (wl_seat_get_version(object) >= WL_SEAT_RELEASE_SINCE_VERSION)
        wl_seat_release(object);
    else
        wl_seat_destroy(object);
}

void WaylandDeleter::operator()(zwlr_layer_shell_v1* object) const {
    if (zwlr_layer_shell_v1_get_version(object) >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
        zwlr_layer_shell_v1_destroy(object);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(object));
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

} // namespace lumacore::cli
