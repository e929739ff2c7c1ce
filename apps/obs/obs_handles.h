// Owners of OBS's reference-counted handles: each releases its reference once.
#pragma once

#include <obs.h>

#include <memory>

namespace lumacore::obs {

struct SourceRelease {
    void operator()(obs_source_t* source) const { obs_source_release(source); }
};
struct WeakSourceRelease {
    void operator()(obs_weak_source_t* weak) const { obs_weak_source_release(weak); }
};

using SourceRef = std::unique_ptr<obs_source_t, SourceRelease>;
using WeakSourceRef = std::unique_ptr<obs_weak_source_t, WeakSourceRelease>;

// A texture, destroyed inside OBS's graphics context.
class Texture {
  public:
    Texture() = default;
    ~Texture() { reset(); }
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Within the graphics context: a texture of `width` x `height` pixels of `format`, kept
    // when it already is one; null when OBS could not make it (not tried again until another
    // size or format is asked for).
    gs_texture_t* sized(int width, int height, gs_color_format format) {
        if (width_ == width && height_ == height && format_ == format) return texture_;
        if (texture_) gs_texture_destroy(texture_);
        texture_ = gs_texture_create(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                     format, 1, nullptr, GS_DYNAMIC);
        width_ = width;
        height_ = height;
        format_ = format;
        return texture_;
    }
    // Enters the graphics context itself.
    void reset() {
        width_ = height_ = 0;
        format_ = GS_UNKNOWN;
        if (!texture_) return;
        obs_enter_graphics();
        gs_texture_destroy(texture_);
        obs_leave_graphics();
        texture_ = nullptr;
    }

  private:
    gs_texture_t* texture_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    gs_color_format format_ = GS_UNKNOWN;
};

} // namespace lumacore::obs
