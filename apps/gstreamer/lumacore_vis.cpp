// The GStreamer element `lumacorevis` (plug-in "lumacore"): a GstAudioVisualizer whose pictures
// are the module's, made by a StreamPicture from the sound flowing through. This file is the
// GObject side alone: the type, its properties, the pads' caps and the events that matter (a
// flush starts the sound afresh, tags give the banner its title); the pacing and the drawing live
// in stream_picture.*.
#include <gst/audio/audio.h>
#include <gst/gst.h>
#include <gst/pbutils/gstaudiovisualizer.h>
#include <gst/video/video.h>

#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "audio/limits.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "stream_picture.h"

#ifndef PACKAGE
#define PACKAGE "lumacore"
#endif

namespace {

using lumacore::cli::ModuleKind;
using lumacore::gst::StreamPicture;

GST_DEBUG_CATEGORY_STATIC(lumacore_vis_debug);
#define GST_CAT_DEFAULT lumacore_vis_debug

// Opaque pictures are the bitmap's own words; transparent ones R, G, B, A with the kept alpha.
#define LUMACORE_VIDEO_CAPS(format)                                                                \
    "video/x-raw, format = (string) " format ", width = (int) [ 1, 16384 ], "                      \
    "height = (int) [ 1, 16384 ], framerate = (fraction) [ 1/100, 240/1 ]"
constexpr const char* kOpaqueCaps = LUMACORE_VIDEO_CAPS("BGRx");
constexpr const char* kTransparentCaps = LUMACORE_VIDEO_CAPS("RGBA");
static_assert(lumacore::cli::kMaxPictureSide == 16384, "the caps' sides are the renderer's");

// How far the grid may trail the base class's sound before the pictures in between are dropped:
// more than the analysis window and a few pictures, which it trails by when nothing was dropped.
constexpr double kMostBehindSeconds = 0.2;

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(LUMACORE_VIDEO_CAPS("{ BGRx, RGBA }")));
// Any channel count and rate the resampler takes (it mixes down to stereo).
GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { F32LE, S16LE }, "
                    "layout = (string) interleaved, rate = (int) [ 1000, 1000000 ], "
                    "channels = (int) [ 1, 64 ]"));

// What the properties ask for; set on any thread, taken by the streaming thread at each picture.
struct Settings {
    ModuleKind module = ModuleKind::History;
    bool threeD = true;
    float brightness = 1.0f;
    std::optional<std::string> title; // none: from the stream's tags
    bool transparent = false;
};

// The element's C++ side, owned through a pointer in the instance.
struct Vis {
    std::mutex lock; // settings and tag title
    Settings wanted;
    std::string tagArtist, tagTitle;

    // The streaming thread's own.
    lumacore::FreetypeTextRenderer text;
    std::unique_ptr<StreamPicture> picture;
    double framesPerSecond = 25;
    bool rgba = false;
    int fpsN = 25, fpsD = 1;
    GstClockTime soundStart = GST_CLOCK_TIME_NONE; // the first frame heard since the restart
    bool drop = false;                             // the base class's picture was not drawn
    Settings applied;
    std::string appliedTitle;
};

std::string titleOf(const Vis& vis) {
    if (vis.wanted.title) return *vis.wanted.title;
    if (!vis.tagArtist.empty() && !vis.tagTitle.empty())
        return vis.tagArtist + " - " + vis.tagTitle;
    return vis.tagTitle;
}

} // namespace

G_BEGIN_DECLS

#define GST_TYPE_LUMACORE_VIS (gst_lumacore_vis_get_type())
G_DECLARE_FINAL_TYPE(GstLumacoreVis, gst_lumacore_vis, GST, LUMACORE_VIS, GstAudioVisualizer)

struct _GstLumacoreVis {
    GstAudioVisualizer parent;
    Vis* vis;
};

G_DEFINE_TYPE(GstLumacoreVis, gst_lumacore_vis, GST_TYPE_AUDIO_VISUALIZER)

G_END_DECLS

namespace {

enum { PROP_0, PROP_MODULE, PROP_MODE, PROP_BRIGHTNESS, PROP_TITLE, PROP_TRANSPARENT };

GType moduleType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {static_cast<gint>(ModuleKind::History), "The spectrum history", "history"},
        {static_cast<gint>(ModuleKind::Scope), "The oscilloscope", "scope"},
        {static_cast<gint>(ModuleKind::VuMeter), "The VU meter", "vu"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstLumacoreModule", values));
    return type;
}

GType modeType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {0, "Bands drawn flat", "2d"}, {1, "Boxes drawn in 3D", "3d"}, {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstLumacoreMode", values));
    return type;
}

Vis& visOf(gpointer object) {
    return *GST_LUMACORE_VIS(object)->vis;
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    Vis& vis = visOf(object);
    bool renegotiate = false;
    {
        std::lock_guard<std::mutex> hold(vis.lock);
        switch (id) {
        case PROP_MODULE:
            vis.wanted.module = static_cast<ModuleKind>(g_value_get_enum(value));
            break;
        case PROP_MODE:
            vis.wanted.threeD = g_value_get_enum(value) == 1;
            break;
        case PROP_BRIGHTNESS:
            vis.wanted.brightness = g_value_get_float(value);
            break;
        case PROP_TITLE:
            if (const char* title = g_value_get_string(value))
                vis.wanted.title = title;
            else
                vis.wanted.title.reset();
            break;
        case PROP_TRANSPARENT:
            renegotiate = vis.wanted.transparent != static_cast<bool>(g_value_get_boolean(value));
            vis.wanted.transparent = g_value_get_boolean(value);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
            return;
        }
    }
    // Another pixel format: the source pad negotiates again before its next picture.
    if (renegotiate)
        if (GstPad* src = gst_element_get_static_pad(GST_ELEMENT(object), "src")) {
            gst_pad_mark_reconfigure(src);
            gst_object_unref(src);
        }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    Vis& vis = visOf(object);
    std::lock_guard<std::mutex> hold(vis.lock);
    switch (id) {
    case PROP_MODULE:
        g_value_set_enum(value, static_cast<gint>(vis.wanted.module));
        break;
    case PROP_MODE:
        g_value_set_enum(value, vis.wanted.threeD ? 1 : 0);
        break;
    case PROP_BRIGHTNESS:
        g_value_set_float(value, vis.wanted.brightness);
        break;
    case PROP_TITLE:
        g_value_set_string(value, vis.wanted.title ? vis.wanted.title->c_str() : nullptr);
        break;
    case PROP_TRANSPARENT:
        g_value_set_boolean(value, vis.wanted.transparent);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        break;
    }
}

// The caps downstream answers, cut to the one pixel format the `transparent` property asks for.
// Nothing left is a request this element cannot make: one clear line, and negotiation fails.
GstPadProbeReturn filterDownstreamCaps(GstPad*, GstPadProbeInfo* info, gpointer element) {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (GST_QUERY_TYPE(query) != GST_QUERY_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* answer = nullptr;
    gst_query_parse_caps_result(query, &answer);
    if (!answer) return GST_PAD_PROBE_OK;
    bool transparent;
    {
        Vis& vis = visOf(element);
        std::lock_guard<std::mutex> hold(vis.lock);
        transparent = vis.wanted.transparent;
    }
    GstCaps* ours = gst_caps_from_string(transparent ? kTransparentCaps : kOpaqueCaps);
    GstCaps* both = gst_caps_intersect(answer, ours);
    if (gst_caps_is_empty(both)) {
        gchar* asked = gst_caps_to_string(answer);
        GST_ELEMENT_ERROR(element, CORE, NEGOTIATION,
                          ("lumacorevis cannot make the pictures asked for downstream"),
                          ("downstream takes %s; lumacorevis makes video/x-raw in %s, 1 to 16384 "
                           "pixels a side, 0.01 to 240 frames a second",
                           asked, transparent ? "RGBA (transparent=true)" : "BGRx"));
        g_free(asked);
    }
    gst_query_set_caps_result(query, both);
    gst_caps_unref(both);
    gst_caps_unref(ours);
    return GST_PAD_PROBE_OK;
}

// Every buffer of sound, before the base class keeps it for its pictures.
GstPadProbeReturn hearSound(GstPad*, GstPadProbeInfo* info, gpointer element) {
    Vis& vis = visOf(element);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!vis.picture || !buffer) return GST_PAD_PROBE_OK;
    const GstAudioInfo& audio = GST_AUDIO_VISUALIZER(element)->ainfo;
    const gint frameBytes = GST_AUDIO_INFO_BPF(&audio);
    if (frameBytes <= 0) return GST_PAD_PROBE_OK;
    if (!GST_CLOCK_TIME_IS_VALID(vis.soundStart)) vis.soundStart = GST_BUFFER_PTS(buffer);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    vis.picture->hear(map.data, map.size / static_cast<std::size_t>(frameBytes));
    gst_buffer_unmap(buffer, &map);
    return GST_PAD_PROBE_OK;
}

void restartSound(Vis& vis) {
    if (vis.picture) vis.picture->restart();
    vis.soundStart = GST_CLOCK_TIME_NONE;
}

// A flush (a seek) starts the sound afresh; tags name the banner's title.
GstPadProbeReturn watchEvents(GstPad*, GstPadProbeInfo* info, gpointer element) {
    Vis& vis = visOf(element);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_FLUSH_STOP:
        restartSound(vis);
        break;
    case GST_EVENT_STREAM_START: {
        std::lock_guard<std::mutex> hold(vis.lock);
        vis.tagArtist.clear();
        vis.tagTitle.clear();
        break;
    }
    case GST_EVENT_TAG: {
        GstTagList* tags = nullptr;
        gst_event_parse_tag(event, &tags);
        gchar* artist = nullptr;
        gchar* title = nullptr;
        std::lock_guard<std::mutex> hold(vis.lock);
        if (gst_tag_list_get_string(tags, GST_TAG_ARTIST, &artist)) vis.tagArtist = artist;
        if (gst_tag_list_get_string(tags, GST_TAG_TITLE, &title)) vis.tagTitle = title;
        g_free(artist);
        g_free(title);
        break;
    }
    default:
        break;
    }
    return GST_PAD_PROBE_OK;
}

lumacore::StereoResampler::Sample sampleOf(const GstAudioInfo& audio) {
    return GST_AUDIO_INFO_FORMAT(&audio) == GST_AUDIO_FORMAT_S16LE
               ? lumacore::StereoResampler::Sample::S16
               : lumacore::StereoResampler::Sample::Float;
}

// The formats are agreed: a new picture of the negotiated size, rate and pixel format.
gboolean setup(GstAudioVisualizer* scope) {
    Vis& vis = visOf(scope);
    const GstVideoInfo& video = scope->vinfo;
    const GstAudioInfo& audio = scope->ainfo;
    vis.fpsN = GST_VIDEO_INFO_FPS_N(&video);
    vis.fpsD = GST_VIDEO_INFO_FPS_D(&video);
    vis.framesPerSecond = static_cast<double>(vis.fpsN) / vis.fpsD;
    vis.rgba = GST_VIDEO_INFO_FORMAT(&video) == GST_VIDEO_FORMAT_RGBA;
    Settings wanted;
    std::string title;
    {
        std::lock_guard<std::mutex> hold(vis.lock);
        wanted = vis.wanted;
        title = titleOf(vis);
    }
    const lumacore::cli::Display display{wanted.module,
                                         wanted.threeD,
                                         wanted.brightness,
                                         GST_VIDEO_INFO_WIDTH(&video),
                                         GST_VIDEO_INFO_HEIGHT(&video),
                                         vis.rgba};
    const lumacore::gst::SoundFormat format{GST_AUDIO_INFO_RATE(&audio),
                                            GST_AUDIO_INFO_CHANNELS(&audio), sampleOf(audio)};
    // The base class draws whenever it holds req_spf frames, keeping the newest req_spf for the
    // next picture, so its pictures follow the sound's buffers rather than the frame rate. Half a
    // frame's worth asks for more pictures than the grid has; those not due are dropped.
    const guint64 framesPerPicture =
        gst_util_uint64_scale_int(static_cast<guint64>(format.rate), GST_VIDEO_INFO_FPS_D(&video),
                                  GST_VIDEO_INFO_FPS_N(&video));
    scope->req_spf = static_cast<guint>(std::max<guint64>(1, framesPerPicture / 2));
    // The same formats again (a reconfiguration that changed nothing): the picture goes on with
    // the sound it has heard.
    if (vis.picture && vis.picture->display().width == display.width &&
        vis.picture->display().height == display.height &&
        vis.picture->display().transparent == display.transparent &&
        vis.picture->format() == format && vis.picture->framesPerSecond() == vis.framesPerSecond)
        return TRUE;
    try {
        vis.picture.reset();
        vis.picture =
            std::make_unique<StreamPicture>(display, vis.framesPerSecond, format, title, vis.text);
        vis.applied = wanted;
        vis.appliedTitle = title;
    } catch (const std::exception& error) {
        GST_ELEMENT_ERROR(scope, STREAM, FORMAT, ("lumacorevis cannot take this sound"),
                          ("%s", error.what()));
        return FALSE;
    }
    vis.soundStart = GST_CLOCK_TIME_NONE;
    return TRUE;
}

// The properties changed since the last picture, applied to it.
void applySettings(Vis& vis) {
    Settings wanted;
    std::string title;
    {
        std::lock_guard<std::mutex> hold(vis.lock);
        wanted = vis.wanted;
        title = titleOf(vis);
    }
    StreamPicture& picture = *vis.picture;
    if (wanted.module != vis.applied.module) picture.setModule(wanted.module);
    if (wanted.threeD != vis.applied.threeD) picture.setMode(wanted.threeD);
    if (wanted.brightness != vis.applied.brightness) picture.setBrightness(wanted.brightness);
    if (title != vis.appliedTitle) picture.setTitle(title);
    vis.applied = wanted;
    vis.appliedTitle = title;
}

// The base class asks for a picture each time it holds enough sound; the next picture of the
// frame rate's grid is drawn when the sound of its calls is in, and the base class's buffer is
// stamped with its moment. Otherwise the buffer is dropped on its way out (dropUnwanted).
gboolean render(GstAudioVisualizer* scope, GstBuffer*, GstVideoFrame* video) {
    Vis& vis = visOf(scope);
    vis.drop = true;
    if (!vis.picture) return TRUE;
    // The base class's own stamp is where its sound has come to. Far ahead of the grid, it has
    // left pictures out because they were late (QoS): the grid catches up rather than drawing
    // every missed picture late.
    const GstClockTime reached = GST_BUFFER_PTS(video->buffer);
    if (GST_CLOCK_TIME_IS_VALID(reached) && GST_CLOCK_TIME_IS_VALID(vis.soundStart) &&
        reached > vis.soundStart) {
        const double seconds = static_cast<double>(reached - vis.soundStart) / GST_SECOND;
        const double behind =
            seconds - static_cast<double>(vis.picture->nextIndex()) / vis.framesPerSecond;
        if (behind > std::max(kMostBehindSeconds, 3 / vis.framesPerSecond))
            vis.picture->skipTo(static_cast<std::int64_t>(seconds * vis.framesPerSecond));
    }
    if (!vis.picture->nextReady()) return TRUE;
    applySettings(vis);
    const std::int64_t index = vis.picture->nextIndex();
    try {
        const lumacore::Bitmap& picture = vis.picture->drawNext();
        lumacore::gst::writePicture(
            picture, vis.rgba, static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(video, 0)),
            static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(video, 0)));
    } catch (const std::exception& error) {
        GST_ELEMENT_ERROR(scope, STREAM, FAILED, ("lumacorevis cannot draw"), ("%s", error.what()));
        return FALSE;
    }
    if (GST_CLOCK_TIME_IS_VALID(vis.soundStart)) {
        const auto at = [&](std::int64_t k) {
            return vis.soundStart +
                   gst_util_uint64_scale(static_cast<guint64>(k), GST_SECOND * vis.fpsD, vis.fpsN);
        };
        GST_BUFFER_PTS(video->buffer) = at(index);
        GST_BUFFER_DURATION(video->buffer) = at(index + 1) - at(index);
    }
    vis.drop = false;
    return TRUE;
}

// The base class's pictures that are not the grid's next.
GstPadProbeReturn dropUnwanted(GstPad*, GstPadProbeInfo*, gpointer element) {
    Vis& vis = visOf(element);
    const bool drop = vis.drop;
    vis.drop = false;
    return drop ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

void finalize(GObject* object) {
    delete GST_LUMACORE_VIS(object)->vis;
    G_OBJECT_CLASS(gst_lumacore_vis_parent_class)->finalize(object);
}

} // namespace

static void gst_lumacore_vis_init(GstLumacoreVis* self) {
    self->vis = new Vis;
    // The base class's fading of the last picture would be drawn over at once.
    g_object_set(self, "shader", 0, nullptr);
    GstElement* element = GST_ELEMENT(self);
    if (GstPad* sink = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, hearSound, self, nullptr);
        gst_pad_add_probe(sink,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                                       GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                          watchEvents, self, nullptr);
        gst_object_unref(sink);
    }
    if (GstPad* src = gst_element_get_static_pad(element, "src")) {
        gst_pad_add_probe(src,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM |
                                                       GST_PAD_PROBE_TYPE_PULL),
                          filterDownstreamCaps, self, nullptr);
        gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_BUFFER, dropUnwanted, self, nullptr);
        gst_object_unref(src);
    }
}

static void gst_lumacore_vis_class_init(GstLumacoreVisClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstAudioVisualizerClass* scope = GST_AUDIO_VISUALIZER_CLASS(klass);
    object->set_property = setProperty;
    object->get_property = getProperty;
    object->finalize = finalize;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        object, PROP_MODULE,
        g_param_spec_enum("module", "Module", "The display: history, scope or vu", moduleType(),
                          static_cast<gint>(ModuleKind::History), flags));
    g_object_class_install_property(
        object, PROP_MODE,
        g_param_spec_enum("mode", "Mode", "The spectrum history drawn as 2d bands or 3d boxes",
                          modeType(), 1, flags));
    g_object_class_install_property(object, PROP_BRIGHTNESS,
                                    g_param_spec_float("brightness", "Brightness",
                                                       "The spectrum history's brightness", 0.2f,
                                                       2.0f, 1.0f, flags));
    g_object_class_install_property(
        object, PROP_TITLE,
        g_param_spec_string("title", "Title",
                            "The banner's text; unset: \"Artist - Title\" from the stream's tags",
                            nullptr, flags));
    g_object_class_install_property(
        object, PROP_TRANSPARENT,
        g_param_spec_boolean("transparent", "Transparent",
                             "RGBA pictures with the display's own alpha instead of BGRx", FALSE,
                             flags));
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_set_static_metadata(element, "Lumacore", "Visualization",
                                          "The spectrum history, oscilloscope or VU meter of "
                                          "Lumacore, drawn from the sound",
                                          "The Lumacore authors");
    scope->setup = setup;
    scope->render = render;
}

static gboolean pluginInit(GstPlugin* plugin) {
    GST_DEBUG_CATEGORY_INIT(lumacore_vis_debug, "lumacorevis", 0, "Lumacore visualisation");
    return gst_element_register(plugin, "lumacorevis", GST_RANK_NONE, GST_TYPE_LUMACORE_VIS);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumacore,
                  "Lumacore's displays drawn from a stream's sound", pluginInit, LUMACORE_VERSION,
                  "MIT/X11", "Lumacore", "Lumacore's own repository (no public address)")
