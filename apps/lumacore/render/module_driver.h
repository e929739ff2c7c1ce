// One visualisation module driven natively the way the plug-in runs in a player: the client
// area as it stands after the window's first paint, one Render per call on the software
// rasteriser, and for the spectrum history the title banner on every four-second timer tick.
#pragma once

#include <memory>
#include <string>

#include "history/history_state.h"
#include "host/msvc_rand.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "host/raster/raster_surface.h"
#include "render/render_options.h"
#include "scope/scope_state.h"

namespace lumacore::cli {

class ModuleDriver {
  public:
    ModuleDriver(const RenderOptions& options, std::string bannerTitle);
    ~ModuleDriver();
    ModuleDriver(const ModuleDriver&) = delete;
    ModuleDriver& operator=(const ModuleDriver&) = delete;

    // One Render call with the record's spectrum and waveform, at `timeSeconds` of the stream
    // (banner ticks due by then are drawn first).
    void render(const winampVisModule& module, double timeSeconds);
    const Bitmap& picture() const { return bitmap_; }

  private:
    RenderOptions options_;
    std::string title_;
    Bitmap bitmap_;
    FreetypeTextRenderer text_;
    std::unique_ptr<RasterSurface> surface_;
    std::unique_ptr<HistoryState> history_;
    ScopeState scope_;
    MsvcRand rand_;
    double nextBanner_ = 4.0;
};

} // namespace lumacore::cli
