// One application's sound on a PulseAudio (or PipeWire pulse) server: a record stream on its
// sink's monitor for each of the application's playing streams, each carrying that stream alone
// (pa_stream_set_monitor_stream), summed by a StreamMixer. The server's streams are followed: a
// stream the application opens later joins, one that ends leaves, one that moves to another sink
// is recorded there. A server that refuses to record one stream alone is recorded whole at the
// sink's monitor instead, and says so once.
//
// A stream between sinks (PipeWire lists a stream it is linking or moving without one, and may
// announce nothing more once it is linked) keeps its recording, and the server is asked again
// a moment later until every stream of the application plays on a sink.
//
// Everything here runs under the threaded main loop's lock: the callbacks on libpulse's thread,
// the rest on the caller's, which never waits.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "listen/app_match.h"
#include "listen/stream_mixer.h"

namespace lumacore::cli {

struct CapturedFrames;

class AppStreams {
  public:
    // `answered` is called after each answer of the server (to wake a thread waiting for the
    // first), `sounded` with the samples of a stream whenever they come in.
    AppStreams(pa_context* context, pa_mainloop_api* api, const AppChoice& choice,
               std::size_t maxQueued, std::function<void()> answered,
               std::function<void(const float*, std::size_t)> sounded);
    ~AppStreams();
    AppStreams(const AppStreams&) = delete;
    AppStreams& operator=(const AppStreams&) = delete;

    // Asks the server for its sinks and streams again (after a change it announced); the
    // answers record the streams that now belong to the application.
    void refresh();
    // Whether the server has answered once.
    bool listed() const { return listed_; }
    // The application's streams being recorded now.
    std::size_t recording() const { return streams_.size(); }
    // The application's name as its streams give it, else as it was asked for.
    std::string description() const;
    // Empty, or one line: the server refused to record one stream alone.
    std::string takeRefusal();

    // Appends the summed frames that came in since the last call (see StreamMixer).
    void take(std::vector<float>& frames, double now, CapturedFrames& taken);

  private:
    struct Stream {
        AppStreams* home = nullptr;
        std::uint32_t input = 0; // the sink input it carries; kWholeSink for a whole monitor
        std::string monitor;     // the source it records
        pa_stream* stream = nullptr;
        bool failed = false; // the server ended it: closed and opened again at the next answer
    };

    void sinksAre(const pa_sink_info* sink, bool last);
    void inputIs(const pa_sink_input_info* input, bool last);
    void reconcile();
    void open(std::uint32_t input, const std::string& monitor);
    void close(std::uint32_t input);
    void read(Stream& stream);
    void askAgainSoon();

    pa_context* context_;
    pa_mainloop_api* api_;
    pa_time_event* again_ = nullptr; // the next ask, while a stream is between sinks
    AppChoice choice_;
    std::function<void()> answered_;
    std::function<void(const float*, std::size_t)> sounded_;
    StreamMixer mixer_;
    bool listed_ = false;
    pa_operation* asking_ = nullptr; // the refresh under way: its question now
    bool askAgain_ = false;          // and another was asked for meanwhile
    bool refused_ = false;           // the server records no single stream: whole monitors instead
    std::string refusal_;
    std::map<std::uint32_t, std::string> monitors_; // sink index: its monitor's name
    std::map<std::uint32_t, std::string> wanted_;   // input (or sink) index: the monitor
    std::string named_;                             // the application's name, as streams give it
    bool betweenSinks_ = false; // a stream of the application was listed without a sink
    std::map<std::uint32_t, std::unique_ptr<Stream>> streams_;
};

// What a sink input says of the program that plays it.
StreamOwner ownerOf(const pa_sink_input_info& input);

} // namespace lumacore::cli
