// One module drawn on the software rasteriser for the browser build: the player's first paint,
// then every Render call due by each picture's time, as the native renderer makes them. The
// history's title banner is not drawn (no text renderer in this build yet).
#pragma once

#include <memory>

#include "history/history_state.h"
#include "host/raster/bitmap.h"
#include "host/raster/raster_surface.h"
#include "pipeline/call_source.h"
#include "scope/scope_state.h"

namespace lumacore::web {

enum class WebModule { History = 0, Scope = 1, VuMeter = 2 };

class WebRunner {
  public:
    // `calls` must outlive the runner.
    WebRunner(WebModule module, bool threeD, int width, int height, cli::CallSource& calls);
    WebRunner(const WebRunner&) = delete;
    WebRunner& operator=(const WebRunner&) = delete;

    // Makes every call due by `timeSeconds` in order.
    void advanceTo(double timeSeconds);
    const Bitmap& picture() const { return bitmap_; }

  private:
    void render();

    WebModule module_;
    cli::CallSource& calls_;
    Bitmap bitmap_;
    RasterSurface surface_;
    std::unique_ptr<HistoryState> history_;
    ScopeState scope_;
    winampVisModule record_;
    bool pending_ = false;
    double pendingTime_ = 0;
};

} // namespace lumacore::web
