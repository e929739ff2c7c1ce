// Frame pacing and buffer reuse.
#include "live/wayland_surface.h"

#include <algorithm>
#include <cstring>

namespace lumacore::cli {
namespace {

constexpr std::size_t kMostBuffers = 2;

// XRGB8888: the compositor ignores the top byte, which may hold the rasteriser's alpha.
Bitmap withoutAlpha(Bitmap picture) {
    for (int y = 0; y < picture.height(); ++y)
        for (std::uint32_t* p = picture.row(y); p != picture.row(y) + picture.width(); ++p)
            *p &= 0xFFFFFF;
    return picture;
}

} // namespace

const wl_callback_listener PacedSurface::kFrameListener = {
    .done = [](void* data, wl_callback*,
               std::uint32_t) { static_cast<PacedSurface*>(data)->frameDone(); },
};

const wl_surface_listener PacedSurface::kSurfaceListener = {
    .enter =
        [](void* data, wl_surface*, wl_output* output) {
            auto* self = static_cast<PacedSurface*>(data);
            self->entered_.push_back(output);
            self->updateScale();
        },
    .leave =
        [](void* data, wl_surface*, wl_output* output) {
            auto* self = static_cast<PacedSurface*>(data);
            std::erase(self->entered_, output);
            self->updateScale();
        },
};

PacedSurface::PacedSurface(WaylandClient& client)
    : client_(client), surface_(wl_compositor_create_surface(client.compositor())) {
    wl_surface_add_listener(surface_.get(), &kSurfaceListener, this);
}

PacedSurface::~PacedSurface() {
    frame_.reset();
    surface_.reset(); // before the buffers it may hold
}

void PacedSurface::configure(int width, int height) {
    if (width > 0 && height > 0) {
        logicalWidth_ = width;
        logicalHeight_ = height;
        resize();
    }
    const bool first = !configured_;
    configured_ = true;
    if (first && waitingPicture_) {
        const Bitmap picture = std::move(*waitingPicture_);
        waitingPicture_.reset();
        show(picture, waitingFit_);
    }
}

bool PacedSurface::resize() {
    const int width = logicalWidth_ * scale_, height = logicalHeight_ * scale_;
    if (width == width_ && height == height_) return false;
    width_ = width;
    height_ = height;
    // A picture drawn at the old size is not worth showing: the display draws one at the new
    // size. The current buffer stays for readBack().
    waiting_ = nullptr;
    std::erase_if(buffers_, [&](const auto& buffer) { return buffer.get() != current_; });
    return true;
}

void PacedSurface::presetScale(int scale) {
    if (entered_.empty()) setScale(scale);
}

void PacedSurface::updateScale() {
    if (entered_.empty()) return; // off every output: as it was
    int scale = 1;
    for (const auto& output : client_.outputs())
        if (std::find(entered_.begin(), entered_.end(), output->output.get()) != entered_.end())
            scale = std::max(scale, output->scale);
    setScale(scale);
}

void PacedSurface::setScale(int scale) {
    // wl_surface 3 takes a buffer scale; a scale beyond 8 is no output's.
    if (client_.compositorVersion() < WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) return;
    scale = std::clamp(scale, 1, 8);
    if (scale == scale_) return;
    scale_ = scale;
    if (resize() && configured_ && rescaled_) rescaled_();
}

ShmBuffer* PacedSurface::freeBuffer() {
    std::size_t ofSize = 0;
    for (const auto& buffer : buffers_) {
        if (buffer->width() != width_ || buffer->height() != height_) continue;
        ++ofSize;
        if (!buffer->busy() && buffer.get() != current_ && buffer.get() != waiting_)
            return buffer.get();
    }
    if (ofSize >= kMostBuffers) return nullptr;
    // Buffers of an old size go once the compositor is done with them.
    std::erase_if(buffers_, [&](const auto& buffer) {
        return buffer.get() != current_ && !buffer->busy() &&
               (buffer->width() != width_ || buffer->height() != height_);
    });
    buffers_.push_back(std::make_unique<ShmBuffer>(client_.shm(), width_, height_));
    return buffers_.back().get();
}

void PacedSurface::show(const Bitmap& picture, PictureFit fit) {
    if (client_.lost()) return;
    if (!configured_ || width_ <= 0) {
        waitingPicture_ = picture;
        waitingFit_ = fit;
        return;
    }
    // A frame asked for two refresh periods ago and not yet given: the compositor is not drawing
    // this surface (covered, hidden, its output off), so nothing is drawn for it until it asks
    // again; the first picture after that goes at once.
    const double sinceCommit =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - lastCommit_).count();
    if (frame_ && sinceCommit > 2 / refreshRate()) return;
    ShmBuffer* target = waiting_ ? waiting_ : freeBuffer();
    // Every buffer still the compositor's: its release comes soon after the frame callback (a
    // compositor that reads the buffers themselves holds the one shown until the next is), so it
    // is waited for, at most a refresh period, rather than the picture copied aside.
    if (!target && !waitingPicture_)
        client_.dispatchUntil([&] { return (target = waiting_ ? waiting_ : freeBuffer()); },
                              1 / refreshRate());
    if (!target) {
        waitingPicture_ = picture;
        waitingFit_ = fit;
        return;
    }
    drawPicture(picture, fit, target->pixels());
    waitingPicture_.reset();
    if (frame_) {
        waiting_ = target;
        return;
    }
    waiting_ = nullptr;
    commit(*target);
}

void PacedSurface::commit(ShmBuffer& buffer) {
    wl_surface* surface = surface_.get();
    frame_.reset(wl_surface_frame(surface));
    wl_callback_add_listener(frame_.get(), &kFrameListener, this);
    if (scaleSent_ != scale_ && buffer.width() == width_ && buffer.height() == height_) {
        wl_surface_set_buffer_scale(surface, scale_);
        scaleSent_ = scale_;
    }
    wl_surface_attach(surface, buffer.buffer(), 0, 0);
    if (client_.compositorVersion() >= WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION)
        wl_surface_damage_buffer(surface, 0, 0, buffer.width(), buffer.height());
    else
        wl_surface_damage(surface, 0, 0, buffer.width(), buffer.height());
    wl_surface_commit(surface);
    buffer.markBusy();
    current_ = &buffer;
    lastCommit_ = std::chrono::steady_clock::now();
    wl_display_flush(client_.display());
}

void PacedSurface::frameDone() {
    frame_.reset();
    if (waiting_) {
        ShmBuffer* next = waiting_;
        waiting_ = nullptr;
        commit(*next);
    } else if (waitingPicture_) {
        const Bitmap picture = std::move(*waitingPicture_);
        waitingPicture_.reset();
        show(picture, waitingFit_);
    }
}

double PacedSurface::refreshRate() const {
    for (const auto& output : client_.outputs())
        if (output->refreshMilliHertz > 0 &&
            std::find(entered_.begin(), entered_.end(), output->output.get()) != entered_.end())
            return output->refreshMilliHertz / 1000.0;
    return client_.refreshRate();
}

double PacedSurface::untilNextFrame() const {
    if (canPresent()) return 0;
    const double period = 1 / refreshRate();
    const double since =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - lastCommit_).count();
    return since < period ? period - since : period;
}

Bitmap PacedSurface::readBack() const {
    // The newest picture: the one waiting for the next frame, else the one committed last.
    if (waitingPicture_ && width_ > 0) {
        Bitmap drawn(width_, height_);
        drawPicture(*waitingPicture_, waitingFit_, {drawn.row(0), width_, height_, drawn.stride()});
        return withoutAlpha(std::move(drawn));
    }
    const ShmBuffer* newest = waiting_ ? waiting_ : current_;
    if (!newest) return {};
    Bitmap copy(newest->width(), newest->height());
    const PixelTarget pixels = newest->pixels();
    for (int y = 0; y < copy.height(); ++y)
        std::memcpy(copy.row(y), pixels.pixels + static_cast<std::ptrdiff_t>(y) * pixels.stride,
                    static_cast<std::size_t>(copy.width()) * 4);
    return withoutAlpha(std::move(copy));
}

} // namespace lumacore::cli
