// The connection as the live display sees it. The screens share the client with it, so a screen
// that outlives the connection object still has its compositor.
#include "live/wayland_display.h"

#include "live/wayland_client.h"
#include "live/wayland_wallpaper.h"
#include "live/wayland_window.h"

namespace lumacore::cli {
namespace {

class WaylandConnection final : public DisplayConnection {
  public:
    WaylandConnection() : client_(std::make_shared<WaylandClient>()) {}

    bool placesWindows() const override { return false; }

    // Wayland does not tell clients where outputs lie: each is at 0,0 with its mode's size.
    std::vector<Rect> displays() const override {
        client_->dispatch(0);
        std::vector<Rect> rects;
        for (const auto& output : client_->outputs())
            if (output->announced) rects.push_back({0, 0, output->width, output->height});
        return rects;
    }

    std::unique_ptr<LiveScreen> openWindow(const std::string& title, const WindowRect& client,
                                           bool /*positioned*/, bool fullscreen) override {
        return std::make_unique<WaylandWindow>(client_, title, client, fullscreen);
    }

    std::unique_ptr<LiveScreen> openWallpaper(const WallpaperOptions& options) override {
        return std::make_unique<WaylandWallpaper>(client_, options);
    }

  private:
    std::shared_ptr<WaylandClient> client_;
};

} // namespace

std::unique_ptr<DisplayConnection> connectWayland() {
    return std::make_unique<WaylandConnection>();
}

} // namespace lumacore::cli
