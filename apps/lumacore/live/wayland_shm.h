// A picture buffer the compositor reads: shared memory (a memfd mapped here) as one wl_buffer
// in XRGB8888, busy from its commit until the compositor releases it.
#pragma once

#include <cstdint>
#include <memory>

#include <wayland-client.h>

#include "live/wayland_handles.h"
#include "live/wayland_picture.h"

namespace lumacore::cli {

class ShmBuffer {
  public:
    // Throws PlayError when the memory cannot be had.
    ShmBuffer(wl_shm* shm, int width, int height);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    PixelTarget pixels() const { return {pixels_, width_, height_, width_}; }
    wl_buffer* buffer() const { return buffer_.get(); }
    // Whether the compositor may still read it.
    bool busy() const { return busy_; }
    void markBusy() { busy_ = true; }

  private:
    static void released(void* data, wl_buffer*);

    int width_, height_;
    std::size_t bytes_;
    std::uint32_t* pixels_ = nullptr;
    WaylandPtr<wl_buffer> buffer_;
    bool busy_ = false;
};

} // namespace lumacore::cli
