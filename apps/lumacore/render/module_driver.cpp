#include "render/module_driver.h"

#include "render/banner_text.h"

#include "history/history_render.h"
#include "history/palette.h"
#include "history/title_banner.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore::cli {

ModuleDriver::ModuleDriver(const RenderOptions& options, std::string bannerTitle)
    : options_(options), title_(utf8ToWindows1252(bannerTitle)), bitmap_(options.width, options.height),
      surface_(std::make_unique<RasterSurface>(bitmap_, &text_)) {
    if (options_.module != ModuleKind::History) {
        // The scope window's first paint: grey over the whole client area.
        bitmap_.fill(kScopeGrey);
        return;
    }
    // The display window's first paint: its background colour, black.
    history_ = std::make_unique<HistoryState>();
    HistoryState& state = *history_;
    bitmap_.fill(state.backgroundColour);
    state.drawDC = surface_.get();
    setClientSize(state, options_.width, options_.height);
    state.brightness = options_.brightness;
    buildPalette(state);
    setMode(state, options_.threeD ? 1 : 0);
}

ModuleDriver::~ModuleDriver() = default;

void ModuleDriver::render(const winampVisModule& module, double timeSeconds) {
    switch (options_.module) {
    case ModuleKind::History:
        // The banner timer ticks every four seconds of the stream, between Render calls.
        while (timeSeconds >= nextBanner_) {
            drawTitleBanner(*history_, *surface_, title_.c_str(), [this] { return rand_.next(); });
            nextBanner_ += 4.0;
        }
        historyRender(*history_, module);
        break;
    case ModuleKind::Scope:
        oscilloscopeRender(*surface_, module);
        break;
    case ModuleKind::VuMeter:
        vuMeterRender(scope_, *surface_, module);
        break;
    }
}

} // namespace lumacore::cli
