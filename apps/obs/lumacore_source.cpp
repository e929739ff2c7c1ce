// One Lumacore source in a scene. OBS's threads meet here: the user interface calls create and
// the properties, the audio thread only reaches the AudioFeed (its own short lock), and the
// graphics thread ticks the picture forward and draws it. OBS also runs `update` in the graphics
// thread's tick, so a change that needs a new runner only asks for one there: the source's worker
// thread builds a whole new LivePicture (its own analysis, runner and picture) while the old one
// is still drawn, and the tick that finds it ready swaps it in, to be fed with sound from then on,
// starting at the live position. A newer change that needs another runner replaces the build
// asked for; one that goes back to the drawn runner's settings cancels it. The picture's lock is
// held for a tick (one frame's calls at most, bounded catch-up), a draw or a change of settings,
// never for a build; pictures let go are freed on the worker too.
#include "lumacore_source.h"

#include <media-io/audio-io.h>
#include <sys/resource.h>
#include <unistd.h>
#include <util/platform.h>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "audio_feed.h"
#include "audio_tap.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "obs_handles.h"
#include "output/pixels.h"
#include "pipeline/live_picture.h"
#include "source_settings.h"

namespace lumacore::obs {
namespace {

constexpr double kRefreshSeconds = 1.0; // how often a vanished audio source is looked for
constexpr int kWorkerNice = 10;         // the builds' thread, below OBS's (0)

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

// The source's one text renderer, for the picture drawn in the tick and the one being built on
// the worker alike. FreetypeTextRenderer is not thread-safe, so each layout holds a lock: a
// runner lays out its banner once every four seconds of sound, and only when it draws (a new one
// draws nothing until it is swapped in, but nothing here relies on that).
class SharedText final : public TextRenderer {
  public:
    TextRun layout(int height, const std::string& face, std::string_view text,
                   const Rect& visible) override {
        const std::lock_guard lock(mutex_);
        return text_.layout(height, face, text, visible);
    }
    // Loads the font configuration now (a tenth of a second), not at the first banner's tick.
    void warm() {
        const std::lock_guard lock(mutex_);
        text_.resolve("");
    }

  private:
    std::mutex mutex_;
    FreetypeTextRenderer text_;
};

class LumacoreSource {
  public:
    // The first picture is built here, on the thread that creates the source (not the graphics
    // thread).
    LumacoreSource(obs_data_t* data, obs_source_t* self)
        : self_(self), rate_(static_cast<int>(audio_output_get_sample_rate(obs_get_audio()))),
          feed_(rate_), tap_(feed_) {
        text_.warm();
        const SourceSettings settings = readSettings(data);
        wanted_ = pictureFor(settings);
        wantedTitle_ = settings.title;
        live_ = build({0, wanted_, wantedTitle_}).live;
        picture_ = wanted_;
        title_ = wantedTitle_;
        changed_ = true;
        chooseAudio(settings.audioSource);
    }

    // Waits for a build under way (the only thread the source started).
    ~LumacoreSource() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (worker_.joinable()) worker_.join();
    }
    LumacoreSource(const LumacoreSource&) = delete;
    LumacoreSource& operator=(const LumacoreSource&) = delete;

    // In the graphics thread's tick (OBS defers it there): what the drawn runner can change
    // changes now, a new runner is only asked of the worker.
    void update(obs_data_t* data) {
        const SourceSettings settings = readSettings(data);
        const SourcePicture wanted = pictureFor(settings);
        {
            const std::lock_guard lock(mutex_);
            wanted_ = wanted;
            wantedTitle_ = settings.title;
            if (live_) changeLive(wanted, settings.title);
            if (live_ && !needsNewRunner(picture_, wanted))
                cancel(); // the drawn runner will do, whatever was asked for before
            else if (!awaited_ || needsNewRunner(target_, wanted))
                ask(wanted, settings.title);
        }
        chooseAudio(settings.audioSource);
    }

    // A failure here (memory for the picture, its enlargement or the sound) is logged once and
    // the source shows nothing until a change of settings builds it again.
    void tick() {
        try {
            advance();
        } catch (const std::exception& failure) {
            const std::lock_guard lock(mutex_);
            if (live_)
                blog(LOG_WARNING,
                     "[lumacore-obs] '%s': %s; nothing is shown until the settings change",
                     obs_source_get_name(self_), failure.what());
            retire(std::move(live_));
            std::vector<std::uint32_t>().swap(enlarged_);
            width_ = height_ = 0;
        }
    }

    // Draws the newest picture, uploaded from the module's own pixels (0xAARRGGBB words, BGRA
    // bytes in memory) without a conversion.
    void render() {
        const std::lock_guard lock(mutex_);
        if (width_ == 0 || !live_) return;
        gs_texture_t* texture = texture_.sized(width_, height_, premultiplied_ ? GS_BGRA : GS_BGRX);
        if (!texture) {
            if (!textureFailed_)
                blog(LOG_WARNING,
                     "[lumacore-obs] '%s': OBS cannot make a %d x %d texture; nothing is shown",
                     obs_source_get_name(self_), width_, height_);
            textureFailed_ = true;
            return;
        }
        if (upload_) {
            const Bitmap& picture = live_->picture();
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

    // The size of what is drawn: the old picture's while a new one is built, none when nothing
    // is shown.
    uint32_t width() {
        const std::lock_guard lock(mutex_);
        return live_ ? static_cast<uint32_t>(picture_.textureWidth()) : 0;
    }
    uint32_t height() {
        const std::lock_guard lock(mutex_);
        return live_ ? static_cast<uint32_t>(picture_.textureHeight()) : 0;
    }

  private:
    // A picture asked of the worker, and the worker's answer (no picture: it failed, said in
    // OBS's log). `generation` tells the newest asked for from those overtaken.
    struct Job {
        std::uint64_t generation;
        SourcePicture picture;
        std::string title;
    };
    struct Built {
        std::uint64_t generation;
        SourcePicture picture;
        std::string title;
        std::unique_ptr<cli::LivePicture> live;
    };

    void chooseAudio(const std::string& name) {
        if (tapChosen_ && name == audioSource_) return;
        audioSource_ = name;
        tapChosen_ = true;
        tap_.choose(audioSource_);
    }

    // A whole new picture, started at the live position now; takes as long as its size needs.
    Built build(const Job& job) {
        Built built{job.generation, job.picture, job.title, nullptr};
        try {
            built.live = std::make_unique<cli::LivePicture>(
                job.picture.display, job.picture.callsPerSecond, job.title, rate_, "OBS's audio",
                text_, secondsNow());
        } catch (const std::exception& failure) {
            blog(LOG_WARNING, "[lumacore-obs] '%s': cannot make its picture (%s); nothing is shown",
                 obs_source_get_name(self_), failure.what());
        }
        return built;
    }

    // Under the lock: the drawn runner takes what it can change live (shown from its next call
    // on), and the texture the scopes' enlargement when the runner stays.
    void changeLive(const SourcePicture& wanted, const std::string& title) {
        if (wanted.display.threeD != picture_.display.threeD) live_->setMode(wanted.display.threeD);
        if (wanted.display.brightness != picture_.display.brightness)
            live_->setBrightness(wanted.display.brightness);
        if (title != title_) live_->setTitle(title);
        title_ = title;
        if (!needsNewRunner(picture_, wanted)) {
            changed_ = changed_ || wanted.scale != picture_.scale; // the next calls show the rest
            picture_ = wanted;
        } else {
            picture_.display.threeD = wanted.display.threeD;
            picture_.display.brightness = wanted.display.brightness;
        }
    }

    // Under the lock: the worker builds `picture` next, instead of anything asked for before.
    void ask(const SourcePicture& picture, const std::string& title) {
        if (!worker_.joinable())
            worker_ = std::thread([this] { work(); }); // first, as it may throw
        ++generation_;
        job_ = Job{generation_, picture, title};
        if (built_) retire(std::move(built_->live));
        built_.reset();
        awaited_ = true;
        target_ = picture;
        wake_.notify_one();
    }

    // Under the lock: no picture is awaited any more; one under way is let go when done.
    void cancel() {
        if (!awaited_) return;
        ++generation_;
        job_.reset();
        if (built_) retire(std::move(built_->live));
        built_.reset();
        awaited_ = false;
    }

    // Under the lock: `live` is freed on the worker (a large picture takes a while to free), or
    // here when there is none yet.
    void retire(std::unique_ptr<cli::LivePicture> live) {
        if (!live || !worker_.joinable()) return;
        retired_.push_back(std::move(live));
        wake_.notify_one();
    }

    // The worker: builds what is asked (the newest only), frees what is let go, until the
    // source goes.
    void work() {
        // Below OBS's own threads: on a machine short of cores the frames come first.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || job_ || !retired_.empty(); });
            std::vector<std::unique_ptr<cli::LivePicture>> letGo;
            letGo.swap(retired_);
            std::optional<Job> job;
            if (!stopping_) job.swap(job_);
            lock.unlock();
            letGo.clear();
            std::optional<Built> built;
            if (job) built = build(*job);
            lock.lock();
            if (stopping_) return;
            if (!built) continue;
            if (built->generation == generation_) {
                if (built_) retire(std::move(built_->live));
                built_ = std::move(built);
            } else {
                retire(std::move(built->live)); // overtaken while it was built
            }
        }
    }

    // Under the lock, in the tick: the picture built takes the drawn one's place, with the
    // settings changed live since it was asked for, and starts at the live position.
    void adoptBuilt() {
        if (!built_) return;
        Built built = std::move(*built_);
        built_.reset();
        awaited_ = false;
        retire(std::move(live_));
        live_ = std::move(built.live);
        textureFailed_ = false;
        if (!live_) {
            width_ = height_ = 0; // nothing to show until a setting that works
            return;
        }
        picture_ = built.picture;
        title_ = built.title;
        changeLive(wanted_, wantedTitle_);
        fresh_ = true;
        changed_ = true;
    }

    void advance() {
        const double now = secondsNow();
        if (now - lastRefresh_ >= kRefreshSeconds) {
            lastRefresh_ = now;
            tap_.refresh();
        }
        incoming_.clear();
        const AudioFeed::Taken taken = feed_.take(incoming_);
        const std::lock_guard lock(mutex_);
        adoptBuilt();
        if (!live_) return;
        cli::LivePicture& live = *live_;
        // A new picture's sound starts at the live position: nothing before it is silence.
        live.hear(incoming_.data(), taken.frames, static_cast<double>(taken.endNs) / 1e9,
                  taken.restarted || fresh_, now);
        fresh_ = false;
        if (live.advance(now) || changed_) {
            width_ = picture_.textureWidth();
            height_ = picture_.textureHeight();
            // The history's pixels go to OBS as they are; the scopes' enlarged first.
            if (picture_.scale > 1)
                cli::enlarge(live.picture(), picture_.scale, width_, height_, enlarged_);
            else if (!enlarged_.empty())
                std::vector<std::uint32_t>().swap(enlarged_);
            // Transparent, the words' top byte is the alpha and their colour what shows over
            // black: premultiplied. Opaque, the top byte means nothing. The scopes are opaque.
            premultiplied_ =
                picture_.display.transparent && picture_.display.module == cli::ModuleKind::History;
            changed_ = false;
            upload_ = true;
        }
    }

    obs_source_t* self_;
    const int rate_;
    SharedText text_; // before every picture: they draw with it
    AudioFeed feed_;
    AudioTap tap_; // after feed_: it stops the callbacks before the feed goes
    std::string audioSource_;
    bool tapChosen_ = false;
    double lastRefresh_ = 0;
    std::vector<float> incoming_;

    std::mutex mutex_;                       // what follows
    std::unique_ptr<cli::LivePicture> live_; // drawn; none: nothing is shown
    SourcePicture picture_;                  // live_'s, with the changes it took live
    std::string title_;                      // live_'s banner title
    bool fresh_ = false;                     // live_ was swapped in: it starts at the live position
    bool changed_ = false;
    SourcePicture wanted_; // the settings given last
    std::string wantedTitle_;
    std::vector<std::uint32_t> enlarged_; // the scopes' picture enlarged
    int width_ = 0;                       // of the texture
    int height_ = 0;
    bool premultiplied_ = false;
    bool upload_ = false;
    bool textureFailed_ = false; // said once in OBS's log
    Texture texture_;

    // The worker's, under the same lock.
    bool awaited_ = false;         // a picture was asked for and is not swapped in yet
    SourcePicture target_;         // the one awaited
    std::uint64_t generation_ = 0; // of the newest asked for
    std::optional<Job> job_;       // to be built next
    std::optional<Built> built_;   // built, for the next tick
    std::vector<std::unique_ptr<cli::LivePicture>> retired_; // to be freed
    bool stopping_ = false;
    std::condition_variable wake_;
    std::thread worker_; // started at the first new runner asked for
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
    info.update = [](void* data, obs_data_t* settings) {
        try {
            of(data)->update(settings);
        } catch (const std::exception& failure) {
            blog(LOG_WARNING, "[lumacore-obs] cannot change the settings: %s", failure.what());
        }
    };
    info.get_defaults = defaults;
    info.get_properties = properties;
    info.video_tick = [](void* data, float) { of(data)->tick(); };
    info.video_render = [](void* data, gs_effect_t*) { of(data)->render(); };
    info.get_width = [](void* data) { return of(data)->width(); };
    info.get_height = [](void* data) { return of(data)->height(); };
    return info;
}

} // namespace lumacore::obs
