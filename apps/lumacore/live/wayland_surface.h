// A wl_surface that shows pictures at the compositor's pace: a picture is committed only once
// the frame callback of the one before has come; until then the newest picture waits in a buffer
// of its own and goes at that callback, so a surface the compositor does not draw (hidden, its
// output off) draws nothing. Buffers (at most three) are reused once released and remade when
// the size changes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/raster/bitmap.h"
#include "live/wayland_client.h"
#include "live/wayland_picture.h"
#include "live/wayland_shm.h"

namespace lumacore::cli {

class PacedSurface {
  public:
    explicit PacedSurface(WaylandClient& client);
    ~PacedSurface();
    PacedSurface(const PacedSurface&) = delete;
    PacedSurface& operator=(const PacedSurface&) = delete;

    wl_surface* surface() const { return surface_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }

    // The size the shell gave. The first call maps the surface: a picture shown before it is
    // committed then.
    void configure(int width, int height);
    void show(const Bitmap& picture, PictureFit fit);
    // Whether a picture shown now goes to the compositor at once.
    bool canPresent() const { return configured_ && !frame_; }
    // Seconds since the last commit.
    double sinceCommit() const;
    // The newest picture shown, as the compositor is (or will be at the next frame) given it.
    Bitmap readBack() const;

  private:
    static const wl_callback_listener kFrameListener;
    ShmBuffer* freeBuffer();
    void commit(ShmBuffer& buffer);
    void frameDone();

    WaylandClient& client_;
    WaylandPtr<wl_surface> surface_;
    WaylandPtr<wl_callback> frame_;
    std::vector<std::unique_ptr<ShmBuffer>> buffers_;
    ShmBuffer* current_ = nullptr;         // committed last
    ShmBuffer* waiting_ = nullptr;         // drawn, for the next frame callback
    std::optional<Bitmap> waitingPicture_; // when no buffer was free, or before the first size
    PictureFit waitingFit_ = PictureFit::Copy;
    int width_ = 0, height_ = 0;
    bool configured_ = false;
    std::chrono::steady_clock::time_point lastCommit_;
};

} // namespace lumacore::cli
