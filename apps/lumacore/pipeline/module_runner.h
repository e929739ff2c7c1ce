// One visualisation module run natively the way the plug-in runs in a player: it owns the
// module's state and its picture (the window's client area on the software rasteriser), makes
// the Render calls due by the time it is given, and takes the live changes a user makes in the
// player: mode, brightness, module and window size. The spectrum history's title banner follows
// the four-second timer of the time given, seeks included.
//
// A live picture that fell behind (a hidden page, a stalled window, a machine back from sleep)
// need not be caught up call by call (boundCatchUp): of the calls due, only those the picture can
// still show are made (the spectrum history: the columns that fit the window; the VU meter: its
// chart; the oscilloscope: the newest two, since each is framed in the pen the one before left),
// as a player skips the frames it cannot draw. The skipped calls are whole groups of the
// history's 3D columns and the VU meter's cursor moves on by them, so the picture and the module's
// state are the ones every call would have made; so is the banner, whose skipped ticks take their
// colours from the generator as drawn ones would. One row differs: the oscilloscope's bottom row,
// below its frame, where the lines of loud waves end and which no call clears, keeps the ends of
// the calls made only. Renders make every call, so that their pictures are exact.
//
// A picture at rest can no longer change without sound: the calls since the last one with sound
// (or since a scope's first paint) have rebuilt everything it shows from silence, the same reach
// as the catch-up's, and since the last banner tick a column has cleared the banner's right end.
// A further call of silence (all its data zero) then draws what is already there, so a live
// runner makes it as a state change alone: the history's 3D group moves on, the VU meter's cursor
// moves on, nothing is drawn.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "history/history_state.h"
#include "host/msvc_rand.h"
#include "host/raster/raster_surface.h"
#include "host/raster/text_renderer.h"
#include "pipeline/call_source.h"
#include "scope/scope_state.h"

namespace lumacore::cli {

enum class ModuleKind { History, Scope, VuMeter };

struct Display {
    ModuleKind module = ModuleKind::History;
    bool threeD = true;
    float brightness = 1.0f; // clamped to the history's range
    int width = 1280;        // client area
    int height = 720;
    // The picture keeps an alpha channel in its pixels' top byte: the history's black ground is
    // transparent, its 3D boxes and banner glyphs opaque, its 2D bands as opaque as they are
    // bright (see RasterSurface::keepAlpha). The scopes paint their window grey, which stays
    // opaque, so that every picture over black is the window's.
    bool transparent = false;
};

class ModuleRunner {
  public:
    // Starts the module as the player's Init would (the window's first paint) and reads the
    // first call from `calls`. The banner's text is drawn by `text` (FreeType natively, the
    // browser's canvas in the web page). Both must outlive the runner.
    ModuleRunner(const Display& display, std::string bannerTitle, CallSource& calls,
                 TextRenderer& text);
    ~ModuleRunner();
    ModuleRunner(const ModuleRunner&) = delete;
    ModuleRunner& operator=(const ModuleRunner&) = delete;

    // Makes the calls due by `timeSeconds` (and before the end set by endCallsAt) in order, each
    // after the banner ticks due by its time; with the catch-up bounded, of more calls than the
    // picture can show the oldest are skipped (above). A time before the previous one is a seek
    // back: the banner timer starts again from it.
    void advanceTo(double timeSeconds);
    // After the call source was moved to `timeSeconds`: drops the call read ahead, reads the next
    // and restarts the banner timer there.
    void seek(double timeSeconds);
    // Asks the source again when it had no call ready: a live source has the next one once its
    // sound has come in.
    void poll();
    // Calls at or after `timeSeconds` are not made (a render's --duration).
    void endCallsAt(double timeSeconds) { callsEnd_ = timeSeconds; }

    // Whether a picture at `timeSeconds` still shows the sound: calls remain, or the last one
    // was at most `callPeriod` before it.
    bool shows(double timeSeconds, double callPeriod) const;
    // Whether the source gave no call at all.
    bool empty() const { return !pending_ && !anyCall_; }
    // Whether a call is waiting to be made (none: the source has ended, or a live one has
    // nothing ready yet).
    bool callsAhead() const { return pending_; }
    // The time of the call waiting to be made (see callsAhead).
    double nextCallTime() const { return pendingTime_; }

    const Bitmap& picture() const { return bitmap_; }
    // The time of the last call made; -1 before the first.
    double lastCallTime() const { return lastCall_; }
    // Render calls made since the start.
    std::int64_t callsMade() const { return callsMade_; }
    // Whether the picture is at rest (above): calls of silence leave it as it is.
    bool atRest() const { return untilRest_ == 0; }
    // A count that moves whenever the picture may have changed (a call drawn, a banner, a first
    // paint, a resize): a window whose picture was shown at the same count need not show it again.
    std::int64_t pictureChanges() const { return pictureChanges_; }
    const Display& display() const { return display_; }

    // What the user changes while it runs.
    void setMode(bool threeD);
    void setBrightness(float brightness);
    void setModule(ModuleKind module);
    // The same in a window of a new client size.
    void setModule(ModuleKind module, int width, int height);
    // The window resized: pixels it keeps stay, uncovered ones get the window's background (the
    // history repaints everything when the height changes), and the drawing takes the new size.
    void setClientSize(int width, int height);
    // The banner's title, in UTF-8 (drawn in the text renderer's Windows-1252).
    void setTitle(const std::string& title);

    // Whether a picture that fell behind makes only the calls it can still show (the live
    // windows) or every call due (renders, the default).
    void boundCatchUp(bool bounded) { bounded_ = bounded; }
    // The most calls a bounded catch-up makes in the current module and size (a few more than
    // the picture shows, to keep the skipped calls in whole groups).
    std::int64_t catchUpLimit() const;

  private:
    struct CatchUp {
        std::int64_t shown; // calls that rebuild the whole picture
        int group;          // calls skipped together, so that the module's state is unchanged
        int phase;          // calls already made of the group under way
    };
    CatchUp catchUp() const;
    void skipBehind(double timeSeconds);
    void start();
    void paintGround(Bitmap& bitmap) const;
    void render(double timeSeconds);
    // A call of silence made on a picture at rest: the module's state moves as the call would
    // move it, and nothing is drawn.
    void restingCall();
    void restartBannerTimer(double timeSeconds);

    Display display_;
    std::string title_;
    CallSource& calls_;
    Bitmap bitmap_;
    TextRenderer& text_;
    std::unique_ptr<RasterSurface> surface_;
    std::unique_ptr<HistoryState> history_;
    ScopeState scope_;
    MsvcRand rand_;
    double nextBanner_ = 4.0;
    double lastTime_ = 0;

    winampVisModule module_;
    bool pending_ = false; // module_ holds the next call, at pendingTime_
    double pendingTime_ = 0;
    bool anyCall_ = false;
    double lastCall_ = -1;
    std::int64_t callsMade_ = 0;
    bool bounded_ = false;
    std::int64_t untilRest_ = 0; // calls of silence still to make before the picture is at rest
    std::int64_t pictureChanges_ = 0;
    double callsEnd_ = std::numeric_limits<double>::infinity();
};

} // namespace lumacore::cli
