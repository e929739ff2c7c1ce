// A wl_surface that shows pictures at the compositor's pace: a picture is committed only once
// the frame callback of the one before has come; until then the newest picture waits in a buffer
// of its own and goes at that callback, so a surface the compositor does not draw (hidden, its
// output off) draws nothing. Buffers (at most three) are reused once released and remade when
// the size changes. On outputs that scale (HiDPI) its buffers have the outputs' pixels: the
// logical size the shell gives times the largest scale of the outputs it is on.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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
    // The size in pixels (0 before the first configure).
    int width() const { return width_; }
    int height() const { return height_; }

    // The logical size the shell gave. The first call maps the surface: a picture shown before
    // it is committed then.
    void configure(int width, int height);
    // The scale before the surface is on any output (a layer surface knows its output).
    void presetScale(int scale);
    // The outputs' scales may have changed.
    void updateScale();
    // Called when the size in pixels changed through a change of scale.
    void onRescale(std::function<void()> rescaled) { rescaled_ = std::move(rescaled); }
    void show(const Bitmap& picture, PictureFit fit);
    // Whether a picture shown now goes to the compositor at once.
    bool canPresent() const { return configured_ && !frame_; }
    // The refresh rate of an output the surface is on; the connection's when it says none.
    double refreshRate() const;
    // Seconds until a picture can go: 0 now; while a frame is awaited the rest of the refresh
    // period since the last commit, or a whole period once that has passed (a hidden surface's
    // frame may never come).
    double untilNextFrame() const;
    // The newest picture shown, as the compositor is (or will be at the next frame) given it.
    Bitmap readBack() const;

  private:
    static const wl_callback_listener kFrameListener;
    static const wl_surface_listener kSurfaceListener;
    // Sizes the buffers for the logical size and the scale; whether the pixel size changed.
    bool resize();
    void setScale(int scale);
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
    int logicalWidth_ = 0, logicalHeight_ = 0;
    int width_ = 0, height_ = 0;
    int scale_ = 1, scaleSent_ = 1;
    std::vector<wl_output*> entered_;
    std::function<void()> rescaled_;
    bool configured_ = false;
    std::chrono::steady_clock::time_point lastCommit_;
};

} // namespace lumacore::cli
