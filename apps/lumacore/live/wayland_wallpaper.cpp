// The layer surfaces' life: made for each wanted output, configured by the compositor, closed by
// it (an output switched off) or dropped with their output's global.
#include "live/wayland_wallpaper.h"

#include <algorithm>

#include "live/play_error.h"

namespace lumacore::cli {
namespace {

std::string outputNames(const WaylandClient& client) {
    std::string names;
    for (const auto& output : client.outputs()) {
        if (!output->announced) continue;
        names += (names.empty() ? "" : ", ") + output->name;
    }
    return names.empty() ? "none" : names;
}

} // namespace

const zwlr_layer_surface_v1_listener WaylandWallpaper::kLayerListener = {
    .configure =
        [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
           std::uint32_t height) {
            auto* layer = static_cast<Layer*>(data);
            layer->owner->layerConfigured(*layer, serial, static_cast<int>(width),
                                          static_cast<int>(height));
        },
    .closed =
        [](void* data, zwlr_layer_surface_v1*) {
            auto* layer = static_cast<Layer*>(data);
            layer->owner->remove(layer);
        },
};

WaylandWallpaper::WaylandWallpaper(std::shared_ptr<WaylandClient> client,
                                   const WallpaperOptions& options)
    : client_(std::move(client)), options_(options) {
    if (!client_->layerShell())
        throw PlayError("this Wayland compositor has no layer shell (zwlr_layer_shell_v1), so "
                        "Lumacore cannot draw its background; GNOME's Mutter is one");
    if (!options_.monitor.empty() &&
        std::none_of(client_->outputs().begin(), client_->outputs().end(),
                     [&](const auto& output) { return output->name == options_.monitor; }))
        throw PlayError("there is no output named \"" + options_.monitor +
                        "\"; the outputs are: " + outputNames(*client_));
    for (const auto& output : client_->outputs())
        if (output->announced && wanted(*output)) add(*output);
    client_->addHooks(this);
    client_->roundtrip(); // the first configure of each
    updateSize();
    events_.clear(); // the first size is no change
    if (width_ == 0 && !client_->outputs().empty()) {
        // No output configured a surface yet: start at the largest output's mode.
        for (const auto& output : client_->outputs())
            if (output->width * output->height > width_ * height_) {
                width_ = output->width;
                height_ = output->height;
            }
    }
    if (width_ == 0) {
        width_ = 1280;
        height_ = 720;
    }
}

WaylandWallpaper::~WaylandWallpaper() {
    client_->removeHooks(this);
    layers_.clear();
    if (!client_->lost()) wl_display_flush(client_->display());
}

bool WaylandWallpaper::wanted(const WaylandOutput& output) const {
    return options_.monitor.empty() || output.name == options_.monitor;
}

void WaylandWallpaper::add(WaylandOutput& output) {
    auto layer = std::make_unique<Layer>();
    layer->owner = this;
    layer->output = &output;
    layer->surface = std::make_unique<PacedSurface>(*client_);
    layer->surface->presetScale(output.scale);
    layer->surface->onRescale([this] { updateSize(); });
    wl_surface* surface = layer->surface->surface();
    layer->layer.reset(zwlr_layer_shell_v1_get_layer_surface(
        client_->layerShell(), surface, output.output.get(),
        options_.layer == WallpaperLayer::Bottom ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM
                                                 : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
        "lumacore"));
    zwlr_layer_surface_v1_add_listener(layer->layer.get(), &kLayerListener, layer.get());
    zwlr_layer_surface_v1_set_anchor(layer->layer.get(), ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_size(layer->layer.get(), 0, 0);
    zwlr_layer_surface_v1_set_exclusive_zone(layer->layer.get(), -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer->layer.get(), ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    // Clicks go through to the desktop.
    const WaylandPtr<wl_region> empty(wl_compositor_create_region(client_->compositor()));
    wl_surface_set_input_region(surface, empty.get());
    wl_surface_commit(surface);
    wl_display_flush(client_->display());
    layers_.push_back(std::move(layer));
}

void WaylandWallpaper::remove(const Layer* layer) {
    std::erase_if(layers_, [&](const auto& each) { return each.get() == layer; });
    updateSize();
}

void WaylandWallpaper::layerConfigured(Layer& layer, std::uint32_t serial, int width, int height) {
    zwlr_layer_surface_v1_ack_configure(layer.layer.get(), serial);
    // 0 leaves the size to us: the output's, in logical units.
    const int scale = std::max(layer.output->scale, 1);
    if (width <= 0) width = layer.output->width / scale;
    if (height <= 0) height = layer.output->height / scale;
    const bool first = layer.surface->width() == 0;
    layer.surface->configure(width, height);
    if (first) events_.push_back(screenEvent(ScreenEvent::Kind::Exposed));
    updateSize();
}

void WaylandWallpaper::updateSize() {
    int width = 0, height = 0;
    for (const auto& layer : layers_)
        if (layer->surface->width() * layer->surface->height() > width * height) {
            width = layer->surface->width();
            height = layer->surface->height();
        }
    // Without any output the size stays: nothing is drawn until one comes.
    if (width == 0 || (width == width_ && height == height_)) return;
    width_ = width;
    height_ = height;
    events_.push_back(screenEvent(ScreenEvent::Kind::Resized));
}

void WaylandWallpaper::show(const Bitmap& picture, bool scaled) {
    if (hold_)
        client_->dispatchUntil(
            [this] {
                return std::all_of(layers_.begin(), layers_.end(),
                                   [](const auto& layer) { return layer->surface->canPresent(); });
            },
            untilNextPresent());
    for (const auto& layer : layers_)
        layer->surface->show(picture, scaled ? PictureFit::WholeFactor : PictureFit::Stretch);
}

double WaylandWallpaper::untilNextPresent() const {
    double wait = 1 / refreshRate(); // without an output, nothing is drawn sooner
    for (const auto& layer : layers_)
        wait = std::min(wait, layer->surface->untilNextFrame());
    return wait;
}

Bitmap WaylandWallpaper::readBack() {
    return layers_.empty() ? Bitmap() : layers_.front()->surface->readBack();
}

void WaylandWallpaper::clientSize(int& width, int& height) const {
    width = width_;
    height = height_;
}

void WaylandWallpaper::waitForEvents(double seconds) {
    if (events_.empty()) client_->dispatch(seconds);
}

void WaylandWallpaper::outputAdded(WaylandOutput& output) {
    if (wanted(output)) add(output);
}

void WaylandWallpaper::outputChanged(WaylandOutput& output) {
    // An output switched on again keeps its global but lost its surface when it went off.
    bool has = false;
    for (const auto& layer : layers_) {
        if (layer->output != &output) continue;
        has = true;
        layer->surface->presetScale(output.scale);
        layer->surface->updateScale();
    }
    if (!has && wanted(output)) add(output);
}

void WaylandWallpaper::outputRemoved(WaylandOutput& output) {
    std::erase_if(layers_, [&](const auto& layer) { return layer->output == &output; });
    updateSize();
}

void WaylandWallpaper::connectionLost() {
    events_.push_back(screenEvent(ScreenEvent::Kind::Closed));
}

} // namespace lumacore::cli
