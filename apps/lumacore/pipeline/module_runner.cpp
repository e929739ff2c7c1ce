// The module runner: Init's first paint, the Render calls due by a time with the banner timer
// between them, and the window's size, mode and brightness changes as the DLL handles them.
#include "pipeline/module_runner.h"

#include <algorithm>
#include <cmath>

#include "audio/limits.h"
#include "history/history_render.h"
#include "history/palette.h"
#include "history/title_banner.h"
#include "pipeline/banner_text.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore::cli {
namespace {

constexpr double kBannerPeriod = 4.0; // seconds between the history's timer ticks

// Whether a call hands the module nothing but zeros: silence, which draws no band, no bar and a
// flat line.
bool silentCall(const winampVisModule& module) {
    const auto zero = [](const unsigned char(&rows)[2][kSamplesPerChannel]) {
        return std::all_of(&rows[0][0], &rows[0][0] + 2 * kSamplesPerChannel,
                           [](unsigned char value) { return value == 0; });
    };
    return zero(module.spectrumData) && zero(module.waveformData);
}

} // namespace

ModuleRunner::ModuleRunner(const Display& display, std::string bannerTitle, CallSource& calls,
                           TextRenderer& text)
    : display_(display), title_(utf8ToWindows1252(bannerTitle)), calls_(calls),
      bitmap_(display.width, display.height), text_(text),
      surface_(std::make_unique<RasterSurface>(bitmap_, &text_)) {
    surface_->keepAlpha(display_.transparent);
    module_.nCh = 2;
    module_.sRate = 44100;
    start();
    pending_ = calls_.next(module_, pendingTime_);
}

ModuleRunner::~ModuleRunner() = default;

void ModuleRunner::start() {
    history_.reset();
    scope_ = ScopeState{};
    ++pictureChanges_;
    if (display_.module != ModuleKind::History) {
        // The scope window's first paint: grey over the whole client area, which the calls of
        // silence then draw over (the oscilloscope's frame, the VU meter's marks).
        paintGround(bitmap_);
        untilRest_ = catchUpLimit();
        return;
    }
    // The display window's first paint is what calls of silence draw: nothing but its ground.
    untilRest_ = 0;
    // The display window's first paint: its background colour, black.
    history_ = std::make_unique<HistoryState>();
    HistoryState& state = *history_;
    paintGround(bitmap_);
    state.drawDC = surface_.get();
    lumacore::setClientSize(state, display_.width, display_.height);
    state.brightness = std::clamp(display_.brightness, state.brightnessMin, state.brightnessMax);
    buildPalette(state);
    lumacore::setMode(state, display_.threeD ? 1 : 0);
    restartBannerTimer(lastTime_);
}

// The window's background: the history's colour (transparent where an alpha channel is kept),
// the scopes' grey (opaque).
void ModuleRunner::paintGround(Bitmap& bitmap) const {
    if (display_.module == ModuleKind::History)
        bitmap.fill(history_->backgroundColour);
    else
        bitmap.fill(kScopeGrey, display_.transparent ? 0xFF : 0);
}

void ModuleRunner::restartBannerTimer(double timeSeconds) {
    nextBanner_ = (std::floor(timeSeconds / kBannerPeriod) + 1) * kBannerPeriod;
}

void ModuleRunner::render(double timeSeconds) {
    // The banner timer ticks every four seconds of the stream, between Render calls. Of several
    // ticks in a row, each covers the last: only the newest is drawn. The call that draws the
    // next column then clears the banner's right end.
    if (history_ && timeSeconds >= nextBanner_) {
        const auto rand = [this] { return rand_.next(); };
        const double ticks = std::floor((timeSeconds - nextBanner_) / kBannerPeriod) + 1;
        for (double skipped = 1; skipped < ticks; ++skipped)
            skipTitleBanner(rand);
        drawTitleBanner(*history_, *surface_, title_.c_str(), rand);
        nextBanner_ += ticks * kBannerPeriod;
        ++pictureChanges_;
        untilRest_ = std::max<std::int64_t>(untilRest_, catchUp().group);
    }
    const bool silent = silentCall(module_);
    if (silent && untilRest_ == 0 && bounded_) {
        restingCall();
        return;
    }
    untilRest_ = silent ? std::max<std::int64_t>(untilRest_ - 1, 0) : catchUpLimit();
    ++pictureChanges_;
    switch (display_.module) {
    case ModuleKind::History:
        historyRender(*history_, module_);
        break;
    case ModuleKind::Scope:
        oscilloscopeRender(*surface_, module_);
        break;
    case ModuleKind::VuMeter:
        vuMeterRender(scope_, *surface_, module_);
        break;
    }
}

void ModuleRunner::restingCall() {
    if (history_ && history_->mode3D != 0) {
        // The sums of a group of silence stay zero; the group's last call would draw a column of
        // nothing and start the next group.
        if (++history_->frameCount > history_->columnStep) history_->frameCount = 0;
    } else if (display_.module == ModuleKind::VuMeter) {
        int& cursor = scope_.vuCursor;
        if (cursor < 0 || cursor >= kVuPositions) cursor = 0;
        if (++cursor > kVuPositions - 1) cursor = 0;
    }
}

ModuleRunner::CatchUp ModuleRunner::catchUp() const {
    switch (display_.module) {
    case ModuleKind::History: {
        const HistoryState& state = *history_;
        const int width = std::max(state.windowWidth, 0);
        const int step = std::max(state.columnStep, 1);
        if (state.mode3D != 0) {
            // Every call scrolls one column; every (step + 1)th draws the newest strip from the
            // levels summed since the last one.
            return {width + step + 1, step + 1, state.frameCount};
        }
        return {(width + step - 1) / step + 1, 1, 0}; // every call scrolls and draws `step`
    }
    case ModuleKind::VuMeter:
        return {kVuPositions, 1, 0}; // one column of the chart a call
    case ModuleKind::Scope:
        break;
    }
    // The oscilloscope draws its whole picture every call, framed in the pen the call before
    // left selected.
    return {2, 1, 0};
}

std::int64_t ModuleRunner::catchUpLimit() const {
    const CatchUp rule = catchUp();
    return rule.shown + rule.group;
}

void ModuleRunner::skipBehind(double timeSeconds) {
    const double rate = calls_.callsPerSecond();
    if (!pending_ || !(rate > 0)) return;
    const double until = std::min(timeSeconds, callsEnd_);
    const double due = std::floor((until - pendingTime_) * rate + 1e-6) + 1;
    const CatchUp rule = catchUp();
    if (!(due > static_cast<double>(rule.shown + rule.group))) return;
    // The oldest calls, the pending one first, in whole groups counted from the group's start.
    std::int64_t skip = checkedInt64(due, "a catch-up") - rule.shown;
    skip -= (skip + rule.phase) % rule.group;
    if (skip <= 0) return;
    untilRest_ = catchUpLimit(); // whether the calls skipped were silent is not known
    const double firstKept = pendingTime_ + static_cast<double>(skip) / rate;
    const std::int64_t skipped =
        1 + calls_.skip(skip - 1, firstKept - 0.5 / rate); // the pending call and those after it
    if (history_ && history_->mode3D != 0) {
        history_->frameCount = static_cast<int>((history_->frameCount + skipped) % rule.group);
    } else if (display_.module == ModuleKind::VuMeter) {
        scope_.vuCursor = static_cast<int>((scope_.vuCursor + skipped) % kVuPositions);
    }
    pending_ = calls_.next(module_, pendingTime_);
}

void ModuleRunner::advanceTo(double timeSeconds) {
    if (timeSeconds < lastTime_) restartBannerTimer(timeSeconds);
    lastTime_ = timeSeconds;
    if (bounded_ && pending_ && pendingTime_ <= timeSeconds) skipBehind(timeSeconds);
    while (pending_ && pendingTime_ <= timeSeconds && pendingTime_ < callsEnd_) {
        render(pendingTime_);
        ++callsMade_;
        anyCall_ = true;
        lastCall_ = pendingTime_;
        pending_ = calls_.next(module_, pendingTime_);
    }
}

void ModuleRunner::seek(double timeSeconds) {
    lastTime_ = timeSeconds;
    restartBannerTimer(timeSeconds);
    lastCall_ = timeSeconds;
    pending_ = calls_.next(module_, pendingTime_);
}

void ModuleRunner::poll() {
    if (!pending_) pending_ = calls_.next(module_, pendingTime_);
}

bool ModuleRunner::shows(double timeSeconds, double callPeriod) const {
    return pending_ || timeSeconds <= lastCall_ + callPeriod;
}

void ModuleRunner::setMode(bool threeD) {
    display_.threeD = threeD;
    if (!history_) return;
    lumacore::setMode(*history_, threeD ? 1 : 0);
    // A 3D group left unfinished when 2D began goes on with the levels it had summed.
    const auto& sums = history_->binSums;
    if (threeD && history_->frameCount != 0 &&
        std::any_of(sums.begin(), sums.end(), [](int sum) { return sum != 0; }))
        untilRest_ = catchUpLimit();
}

void ModuleRunner::setBrightness(float brightness) {
    if (!history_) {
        display_.brightness = brightness;
        return;
    }
    display_.brightness = std::clamp(brightness, history_->brightnessMin, history_->brightnessMax);
    brightnessValue(*history_, display_.brightness);
}

void ModuleRunner::setModule(ModuleKind module) {
    // The player quits one module and starts the next in a fresh window of the same size.
    display_.module = module;
    surface_ = std::make_unique<RasterSurface>(bitmap_, &text_);
    surface_->keepAlpha(display_.transparent);
    start();
}

void ModuleRunner::setModule(ModuleKind module, int width, int height) {
    bitmap_ = Bitmap(width, height);
    display_.width = width;
    display_.height = height;
    setModule(module);
}

void ModuleRunner::setClientSize(int width, int height) {
    const bool history = display_.module == ModuleKind::History;
    Bitmap resized(width, height);
    paintGround(resized);
    // The display window's class redraws it all when the height changes; otherwise (and always
    // for the scopes) only the uncovered part is painted.
    if (!(history && height != bitmap_.height())) {
        const int keepWidth = std::min(width, bitmap_.width());
        const int keepHeight = std::min(height, bitmap_.height());
        for (int y = 0; y < keepHeight; ++y)
            std::copy_n(bitmap_.row(y), keepWidth, resized.row(y));
    }
    bitmap_ = std::move(resized);
    display_.width = width;
    display_.height = height;
    if (history) lumacore::setClientSize(*history_, width, height);
    // What is kept and what is painted are both what calls of silence draw: a picture at rest
    // stays at rest.
    ++pictureChanges_;
}

void ModuleRunner::setTitle(const std::string& title) {
    title_ = utf8ToWindows1252(title);
}

} // namespace lumacore::cli
