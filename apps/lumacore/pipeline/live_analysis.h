// The one live path of every end that draws sound while it arrives (`listen`, the OBS source,
// the web page's listening): the live clock, the frames kept from the live position on (a
// CapturedSound read through a SampleBuffer) and their calls, each as soon as its window is in.
// An end makes two calls: `hear` when sound comes (with its time stamp, as the latency of its
// newest frame) and `pictureTime` when it draws. Silence is added when due, a picture that fell
// behind is caught up by its runner, the time shown is never beyond the newest call whose window
// is in and never goes back. The analysis starts again at the live position whenever what came
// before must not be drawn late: at the start, after a time that was not silence, after a pause,
// or when sound waited too long; the runner driven is then sought there.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "audio/sample_buffer.h"
#include "pipeline/live_clock.h"
#include "pipeline/live_sound.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

class LiveAnalysis {
  public:
    // Frames at `sampleRate`; nothing is drawn before the first restartAt.
    explicit LiveAnalysis(int sampleRate);
    LiveAnalysis(const LiveAnalysis&) = delete;
    LiveAnalysis& operator=(const LiveAnalysis&) = delete;

    // The clock and the analysis start (again) at the live position at `now` (seconds on a
    // steady clock), `callsPerSecond` calls a second: at the start, and when the source comes
    // back after a time away that was not silence.
    void restartAt(double now, double callsPerSecond);

    // What a runner draws from: the same object for this analysis's whole life.
    LiveCalls& calls() { return calls_; }
    // The runner drawing from calls() (none: nullptr), after the first restartAt: asked again for
    // a call when sound comes, sought to the live position now and at every restart. It must
    // outlive this, or be replaced first.
    void drive(ModuleRunner* runner);

    // `count` interleaved stereo frames came in at `now`, the newest `latencySeconds` old at the
    // source (negative for a monitor whose sound is yet to be heard).
    void hear(double now, const float* frames, std::int64_t count, double latencySeconds);
    // `count` frames came in at `now` but were lost before they could be taken (the capture's
    // queue overflowed): the clock counts them, and the analysis starts again after them.
    void lost(double now, std::int64_t count, double latencySeconds);

    // The moment of the stream the picture at `now` shows, in seconds from the first frame:
    // silence first for time a quiet source left uncovered; never beyond the newest call whose
    // window is in, never back. While paused, the moment of the pause.
    double pictureTime(double now);

    // The program took the sound only now and then while its picture rested: the clock learns
    // the source's pace again from the next arrival, and the sound and its calls go on.
    void relearnPace(double now) { clock_.restart(now); }

    // While paused, sound is counted but not kept; when the pause ends the analysis starts again
    // at the live position.
    void setPaused(bool paused);
    bool paused() const { return paused_; }

    // The moment the last picture showed.
    double shown() const { return shown_; }
    // Frames covered so far: the frames kept and the silence added.
    std::int64_t covered() const { return clock_.covered(); }

  private:
    // The analysis from the frames the clock has counted so far.
    void gather();
    // Frames for the analysis; what could not wait makes it start again from here.
    void keep(const float* frames, std::int64_t count);
    // The calls may read up to the frames the clock has counted; the runner is asked again.
    void caughtUp();
    // The time of the newest call whose whole window is in; before the first, one call period
    // before it.
    double newestCall() const;

    int sampleRate_;
    LiveClock clock_;
    double callsPerSecond_ = 60;
    bool paused_ = false;
    double shown_ = std::numeric_limits<double>::lowest();
    std::int64_t first_ = 0;                // the frame the analysis started at
    std::unique_ptr<SampleBuffer> samples_; // before calls_: they read it
    CapturedSound* sound_ = nullptr;        // samples_'
    LiveCalls calls_;
    ModuleRunner* runner_ = nullptr;
    std::vector<float> quiet_; // the silence added
};

} // namespace lumacore::cli
