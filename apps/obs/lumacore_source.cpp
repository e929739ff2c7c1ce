// One Lumacore source in a scene. OBS's threads meet here: the user interface calls update and
// the properties, the audio thread only reaches the AudioFeed (its own short lock), and the
// graphics thread ticks the picture forward and draws it. The picture's lock is held for a tick
// (one frame's calls at most, bounded catch-up) or a settings change (a new runner is built
// outside it).
#include "lumacore_source.h"

#include <media-io/audio-io.h>
#include <util/platform.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio_feed.h"
#include "audio_tap.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "live_picture.h"
#include "obs_handles.h"
#include "output/pixels.h"
#include "source_settings.h"

namespace lumacore::obs {
namespace {

constexpr double kRefreshSeconds = 1.0; // how often a vanished audio source is looked for

double secondsNow() {
    return static_cast<double>(os_gettime_ns()) / 1e9;
}

SourceSettings readSettings(obs_data_t* data) {
    SourceSettings s;
    s.display = obs_data_get_string(data, "display");
    s.threeD = std::string(obs_data_get_string(data, "mode")) != "2d";
    s.brightness = obs_data_get_double(data, "brightness");
    s.callsPerSecond = obs_data_get_double(data, "rate");
    s.width = static_cast<int>(obs_data_get_int(data, "width"));
    s.height = static_cast<int>(obs_data_get_int(data, "height"));
    s.title = obs_data_get_string(data, "title");
    s.transparent = obs_data_get_bool(data, "transparent");
    s.audioSource = obs_data_get_string(data, "audio_source");
    return s;
}

class LumacoreSource {
  public:
    LumacoreSource(obs_data_t* data, obs_source_t* self)
        : self_(self), rate_(static_cast<int>(audio_output_get_sample_rate(obs_get_audio()))),
          feed_(rate_), tap_(feed_) {
        update(data);
    }

    // A change that needs a new runner builds it before taking the picture's lock, and the old
    // one goes after it is let go: the graphics thread waits for no more than the swap.
    void update(obs_data_t* data) {
        const SourceSettings settings = readSettings(data);
        const SourcePicture wanted = pictureFor(settings);
        bool rebuild = false;
        {
            const std::lock_guard lock(mutex_);
            rebuild = !drawing_ || needsNewRunner(picture_, wanted);
        }
        std::unique_ptr<Drawing> fresh, old;
        if (rebuild) {
            try {
                fresh = std::make_unique<Drawing>();
                fresh->live = std::make_unique<LivePicture>(wanted, settings.title, rate_,
                                                            fresh->text, secondsNow());
            } catch (const std::exception& failure) {
                blog(LOG_WARNING, "[lumacore-obs] '%s': %s", obs_source_get_name(self_),
                     failure.what());
                fresh.reset();
            }
        }
        {
            const std::lock_guard lock(mutex_);
            if (rebuild) {
                old = std::move(drawing_);
                drawing_ = std::move(fresh);
            } else if (drawing_) {
                drawing_->live->setMode(wanted.display.threeD);
                drawing_->live->setBrightness(wanted.display.brightness);
                if (settings.title != title_) drawing_->live->setTitle(settings.title);
            }
            if (drawing_) {
                picture_ = wanted;
                title_ = settings.title;
                changed_ = true;
            } else {
                width_ = 0; // nothing to show until a setting that works
            }
        }
        if (!tapChosen_ || settings.audioSource != audioSource_) {
            audioSource_ = settings.audioSource;
            tapChosen_ = true;
            tap_.choose(audioSource_);
        }
    }

    void tick() {
        const double now = secondsNow();
        if (now - lastRefresh_ >= kRefreshSeconds) {
            lastRefresh_ = now;
            tap_.refresh();
        }
        incoming_.clear();
        const AudioFeed::Taken taken = feed_.take(incoming_);
        const std::lock_guard lock(mutex_);
        if (!drawing_) return;
        LivePicture& live = *drawing_->live;
        live.hear(incoming_.data(), taken.frames, static_cast<double>(taken.endNs) / 1e9,
                  taken.restarted, now);
        if (live.advance(now) || changed_) {
            width_ = picture_.textureWidth();
            height_ = picture_.textureHeight();
            // The history's pixels go to OBS as they are; the scopes' enlarged first.
            if (picture_.scale > 1)
                cli::enlarge(live.picture(), picture_.scale, width_, height_, enlarged_);
            // Transparent, the words' top byte is the alpha and their colour what shows over
            // black: premultiplied. Opaque, the top byte means nothing. The scopes are opaque.
            premultiplied_ =
                picture_.display.transparent && picture_.display.module == cli::ModuleKind::History;
            changed_ = false;
            upload_ = true;
        }
    }

    // Draws the newest picture, uploaded from the module's own pixels (0xAARRGGBB words, BGRA
    // bytes in memory) without a conversion.
    void render() {
        const std::lock_guard lock(mutex_);
        if (width_ == 0 || !drawing_) return;
        gs_texture_t* texture = texture_.sized(width_, height_, premultiplied_ ? GS_BGRA : GS_BGRX);
        if (!texture) return;
        if (upload_) {
            const Bitmap& picture = drawing_->live->picture();
            if (!enlarged_.empty() && picture_.scale > 1 &&
                enlarged_.size() == std::size_t(width_) * height_)
                gs_texture_set_image(texture, reinterpret_cast<const uint8_t*>(enlarged_.data()),
                                     static_cast<uint32_t>(width_ * 4), false);
            else if (picture_.scale == 1 && picture.width() == width_ &&
                     picture.height() == height_)
                gs_texture_set_image(texture, reinterpret_cast<const uint8_t*>(picture.row(0)),
                                     static_cast<uint32_t>(picture.stride() * 4), false);
            upload_ = false; // a picture of another size waits for the next tick
        }
        if (premultiplied_) {
            gs_blend_state_push();
            gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
        }
        gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
        gs_eparam_t* image = gs_effect_get_param_by_name(effect, "image");
        gs_effect_set_texture(image, texture);
        while (gs_effect_loop(effect, "Draw"))
            gs_draw_sprite(texture, 0, static_cast<uint32_t>(width_),
                           static_cast<uint32_t>(height_));
        if (premultiplied_) gs_blend_state_pop();
    }

    uint32_t width() {
        const std::lock_guard lock(mutex_);
        return static_cast<uint32_t>(picture_.textureWidth());
    }
    uint32_t height() {
        const std::lock_guard lock(mutex_);
        return static_cast<uint32_t>(picture_.textureHeight());
    }

  private:
    obs_source_t* self_;
    int rate_;
    AudioFeed feed_;
    AudioTap tap_; // after feed_: it stops the callbacks before the feed goes
    std::string audioSource_;
    bool tapChosen_ = false;
    double lastRefresh_ = 0;
    std::vector<float> incoming_;

    std::mutex mutex_; // what follows
    // A picture with the text renderer its banner is drawn with: made and let go as one, so
    // that a new one can be made beside the one drawing.
    struct Drawing {
        FreetypeTextRenderer text;
        std::unique_ptr<LivePicture> live; // after text: it draws with it
    };
    std::unique_ptr<Drawing> drawing_;
    SourcePicture picture_;
    std::string title_;
    bool changed_ = false;
    std::vector<std::uint32_t> enlarged_; // the scopes' picture enlarged
    int width_ = 0;                       // of the texture
    int height_ = 0;
    bool premultiplied_ = false;
    bool upload_ = false;
    Texture texture_;
};

// The audio sources of OBS, by name, into the list.
bool addAudioSource(void* param, obs_source_t* source) {
    if ((obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO) == 0) return true;
    const char* name = obs_source_get_name(source);
    if (name && *name)
        obs_property_list_add_string(static_cast<obs_property_t*>(param), name, name);
    return true;
}

obs_properties_t* properties(void*) {
    obs_properties_t* props = obs_properties_create();
    obs_property_t* display = obs_properties_add_list(props, "display", obs_module_text("Display"),
                                                      OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    obs_property_list_add_string(display, obs_module_text("Display.History"), "history");
    obs_property_list_add_string(display, obs_module_text("Display.Oscilloscope"), "oscilloscope");
    obs_property_list_add_string(display, obs_module_text("Display.VuMeter"), "vu");
    obs_property_t* mode = obs_properties_add_list(props, "mode", obs_module_text("Mode"),
                                                   OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    obs_property_list_add_string(mode, obs_module_text("Mode.2D"), "2d");
    obs_property_list_add_string(mode, obs_module_text("Mode.3D"), "3d");
    obs_properties_add_float_slider(props, "brightness", obs_module_text("Brightness"),
                                    kMinBrightness, kMaxBrightness, 0.05);
    obs_properties_add_float(props, "rate", obs_module_text("CallsPerSecond"), kMinCallRate,
                             kMaxCallRate, 1);
    obs_properties_add_int(props, "width", obs_module_text("Width"), 1, kMaxSide, 1);
    obs_properties_add_int(props, "height", obs_module_text("Height"), 1, kMaxSide, 1);
    obs_properties_add_text(props, "title", obs_module_text("Title"), OBS_TEXT_DEFAULT);
    obs_properties_add_bool(props, "transparent", obs_module_text("Transparent"));
    obs_property_t* audio =
        obs_properties_add_list(props, "audio_source", obs_module_text("AudioSource"),
                                OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    obs_property_list_add_string(audio, obs_module_text("AudioSource.Mix"), "");
    obs_enum_sources(addAudioSource, audio);
    return props;
}

void defaults(obs_data_t* data) {
    const SourceSettings s;
    obs_data_set_default_string(data, "display", s.display.c_str());
    obs_data_set_default_string(data, "mode", s.threeD ? "3d" : "2d");
    obs_data_set_default_double(data, "brightness", s.brightness);
    obs_data_set_default_double(data, "rate", s.callsPerSecond);
    obs_data_set_default_int(data, "width", s.width);
    obs_data_set_default_int(data, "height", s.height);
    obs_data_set_default_string(data, "title", s.title.c_str());
    obs_data_set_default_bool(data, "transparent", s.transparent);
    obs_data_set_default_string(data, "audio_source", s.audioSource.c_str());
}

LumacoreSource* of(void* data) {
    return static_cast<LumacoreSource*>(data);
}

} // namespace

obs_source_info lumacoreSourceInfo() {
    obs_source_info info = {};
    info.id = "lumacore_source";
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = [](void*) { return obs_module_text("Lumacore"); };
    info.create = [](obs_data_t* settings, obs_source_t* source) -> void* {
        try {
            return new LumacoreSource(settings, source);
        } catch (const std::exception& failure) {
            blog(LOG_WARNING, "[lumacore-obs] cannot start: %s", failure.what());
            return nullptr;
        }
    };
    info.destroy = [](void* data) { delete of(data); };
    info.update = [](void* data, obs_data_t* settings) { of(data)->update(settings); };
    info.get_defaults = defaults;
    info.get_properties = properties;
    info.video_tick = [](void* data, float) { of(data)->tick(); };
    info.video_render = [](void* data, gs_effect_t*) { of(data)->render(); };
    info.get_width = [](void* data) { return of(data)->width(); };
    info.get_height = [](void* data) { return of(data)->height(); };
    return info;
}

} // namespace lumacore::obs
