// The clock of live sound (a sound server's capture, a browser's microphone): which moment of the
// captured stream a picture shows. Its only source of time is the audio layer: the frames that
// have come in and the latency the server reports with them (how long ago the newest was at the
// source; negative for a monitor whose sound is yet to be heard). The picture shows the stream as
// it is heard, delayed just enough that the sound it needs has always come in: a source that
// delivers in bursts (a pipe, an idle sink) is drawn evenly, a burst late rather than in jumps.
//
// Silence is drawn only for time no data covers, once the picture has waited for sound longer
// than the source's unevenness explains (a suspended sink sends nothing at all); sound that later
// turns out to cover time already drawn as silence is not counted twice: its part that overlaps
// is dropped.
#pragma once

#include <cstdint>
#include <deque>

namespace lumacore::cli {

class LiveClock {
  public:
    // Frames at `sampleRate`; a picture of stream time t needs the frames up to t plus
    // `lookahead` frames (a Render call's analysis window).
    LiveClock(int sampleRate, int lookahead);

    // The time line starts (again) at `now` (seconds on a steady clock), from the frames covered
    // so far: at the start, when the source comes back after being away (its time away is not
    // silence), and when its arrivals were taken only now and then (the pace they showed is not
    // the source's).
    void restart(double now);

    // `frames` new frames came in at `now`, the newest `latencySeconds` old at the source. Returns
    // how many of them to keep, the newest ones: fewer only where silence was already drawn for
    // their time.
    std::int64_t arrived(double now, std::int64_t frames, double latencySeconds);

    // Frames of silence to add before the picture at `now`: the time a quiet source left
    // uncovered. None while it sends, however unevenly.
    std::int64_t silenceDue(double now);

    // The stream time, in seconds from the first frame, shown by the picture at `now`: never
    // back, never beyond the frames covered.
    double at(double now);

    // Frames covered so far: the frames kept and the silence added.
    std::int64_t covered() const { return covered_; }
    // How many arrivals' samples it remembers now.
    std::size_t remembered() const { return lags_.size() + gaps_.size() + bases_.size(); }

  private:
    struct Sample {
        double when;  // wall time
        double value; // seconds
    };
    // Samples older than the clock's memory are dropped as new ones come, so that a source that
    // never goes quiet is remembered in a bounded number of them.
    static void forget(std::deque<Sample>& samples, double now);
    static void remember(std::deque<Sample>& samples, double now, double value);
    // The largest value of the last few seconds, or `otherwise` when there is none.
    static double largest(std::deque<Sample>& samples, double now, double otherwise);
    void follow(double now);       // moves the lag towards what the arrivals ask for
    double coveredSeconds() const; // the newest call time whose window has come in

    double rate_;
    double lookahead_; // seconds
    std::int64_t covered_ = 0;
    bool started_ = false;
    bool anchored_ = false;         // an arrival since the last restart
    double lastArrival_ = 0;        // wall time of the last arrival (or restart)
    double lastPicture_ = 0;        // wall time of the last picture
    double steadySince_ = 0;        // wall time since which no silence was needed
    bool pictured_ = false;         // a picture since the last arrival
    double lag_ = 0;                // wall time minus the stream time shown, as followed
    double base_ = 0;               // wall time minus the stream time heard, by the recent arrivals
    double lagUpdated_ = 0;         // wall time lag_ was last moved
    double shown_ = 0;              // the last stream time shown
    std::int64_t silentFrames_ = 0; // silence added since the last sound came in
    double starvedSince_ = -1;      // wall time the picture began to wait for sound; -1: it is not
    std::deque<Sample> lags_;       // the lag each arrival asked for, recent ones
    std::deque<Sample> gaps_;       // seconds between arrivals, recent ones
    std::deque<Sample> bases_;      // the bases the recent arrivals gave, negated
};

} // namespace lumacore::cli
