// The browser build's module runner: the first paint and the Render calls, banner left out.
#include "web_runner.h"

#include "history/history_render.h"
#include "history/palette.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore::web {

WebRunner::WebRunner(WebModule module, bool threeD, int width, int height, cli::CallSource& calls)
    : module_(module), calls_(calls), bitmap_(width, height), surface_(bitmap_) {
    record_.nCh = 2;
    record_.sRate = 44100;
    if (module_ != WebModule::History) {
        bitmap_.fill(kScopeGrey); // the scope window's first paint
    } else {
        history_ = std::make_unique<HistoryState>();
        HistoryState& state = *history_;
        bitmap_.fill(state.backgroundColour);
        state.drawDC = &surface_;
        setClientSize(state, width, height);
        buildPalette(state);
        setMode(state, threeD ? 1 : 0);
    }
    pending_ = calls_.next(record_, pendingTime_);
}

void WebRunner::render() {
    switch (module_) {
    case WebModule::History:
        historyRender(*history_, record_);
        break;
    case WebModule::Scope:
        oscilloscopeRender(surface_, record_);
        break;
    case WebModule::VuMeter:
        vuMeterRender(scope_, surface_, record_);
        break;
    }
}

void WebRunner::advanceTo(double timeSeconds) {
    while (pending_ && pendingTime_ <= timeSeconds) {
        render();
        pending_ = calls_.next(record_, pendingTime_);
    }
}

} // namespace lumacore::web
