// Owners of libwayland's and xkbcommon's objects: each is destroyed with its own request when
// its owner goes, so no path leaks one or sends a request on one twice.
#pragma once

#include <memory>

struct wl_buffer;
struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_keyboard;
struct wl_output;
struct wl_region;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_shm_pool;
struct wl_surface;
struct xdg_surface;
struct xdg_toplevel;
struct xdg_wm_base;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;

namespace lumacore::cli {

struct WaylandDeleter {
    void operator()(wl_buffer*) const;
    void operator()(wl_callback*) const;
    void operator()(wl_compositor*) const;
    void operator()(wl_display*) const; // disconnects
    void operator()(wl_keyboard*) const;
    void operator()(wl_output*) const;
    void operator()(wl_region*) const;
    void operator()(wl_registry*) const;
    void operator()(wl_seat*) const;
    void operator()(wl_shm*) const;
    void operator()(wl_shm_pool*) const;
    void operator()(wl_surface*) const;
    void operator()(xdg_surface*) const;
    void operator()(xdg_toplevel*) const;
    void operator()(xdg_wm_base*) const;
    void operator()(xkb_context*) const;
    void operator()(xkb_keymap*) const;
    void operator()(xkb_state*) const;
    void operator()(zwlr_layer_shell_v1*) const;
    void operator()(zwlr_layer_surface_v1*) const;
    void operator()(zxdg_decoration_manager_v1*) const;
    void operator()(zxdg_toplevel_decoration_v1*) const;
};

template <typename T> using WaylandPtr = std::unique_ptr<T, WaylandDeleter>;

// A file descriptor, closed with its owner.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

} // namespace lumacore::cli
