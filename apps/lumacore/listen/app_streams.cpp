// The application's streams, asked for after each change the server announces, and a record
// stream on each one's sink monitor carrying it alone.
#include "listen/app_streams.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "listen/pulse_capture.h"
#include "listen/pulse_format.h"

namespace lumacore::cli {
namespace {

// Keys of whole monitors, recorded where the server refuses to record a stream alone: the sink's
// index with this bit, apart from the streams' own indices.
constexpr std::uint32_t kWholeSink = 0x80000000u;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string property(const pa_proplist* list, const char* key) {
    const char* value = list != nullptr ? pa_proplist_gets(list, key) : nullptr;
    return value != nullptr ? value : "";
}

} // namespace

StreamOwner ownerOf(const pa_sink_input_info& input) {
    StreamOwner owner;
    owner.name = property(input.proplist, PA_PROP_APPLICATION_NAME);
    owner.binary = property(input.proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
    owner.pid = std::atoi(property(input.proplist, PA_PROP_APPLICATION_PROCESS_ID).c_str());
    return owner;
}

AppStreams::AppStreams(pa_context* context, pa_mainloop_api* api, const AppChoice& choice,
                       std::size_t maxQueued, std::function<void()> answered,
                       std::function<void(const float*, std::size_t)> sounded)
    : context_(context), api_(api), choice_(choice), answered_(std::move(answered)),
      sounded_(std::move(sounded)), mixer_(maxQueued) {
    refresh();
}

AppStreams::~AppStreams() {
    // An answer still on its way must not reach this object.
    if (asking_ != nullptr) {
        pa_operation_cancel(asking_);
        pa_operation_unref(asking_);
    }
    if (again_ != nullptr) api_->time_free(again_);
    while (!streams_.empty())
        close(streams_.begin()->first);
}

std::string AppStreams::description() const {
    return named_.empty() ? choice_.describe() : named_;
}

std::string AppStreams::takeRefusal() {
    return std::exchange(refusal_, std::string());
}

void AppStreams::refresh() {
    if (asking_) {
        askAgain_ = true;
        return;
    }
    pa_operation* const asking = pa_context_get_sink_info_list(
        context_,
        [](pa_context*, const pa_sink_info* sink, int last, void* self) {
            static_cast<AppStreams*>(self)->sinksAre(sink, last != 0);
        },
        this);
    if (asking == nullptr) return; // the server has gone: the capture notices
    asking_ = asking;
    monitors_.clear();
}

void AppStreams::sinksAre(const pa_sink_info* sink, bool last) {
    if (!last && sink != nullptr) {
        if (sink->monitor_source_name != nullptr)
            monitors_[sink->index] = sink->monitor_source_name;
        return;
    }
    if (!last) return;
    wanted_.clear();
    named_.clear();
    betweenSinks_ = false;
    pa_operation* asking = pa_context_get_sink_input_info_list(
        context_,
        [](pa_context*, const pa_sink_input_info* input, int eol, void* self) {
            static_cast<AppStreams*>(self)->inputIs(input, eol != 0);
        },
        this);
    pa_operation_unref(asking_);
    asking_ = asking; // none when the server has gone
}

void AppStreams::inputIs(const pa_sink_input_info* input, bool last) {
    if (!last && input != nullptr) {
        const StreamOwner owner = ownerOf(*input);
        if (!belongsTo(owner, choice_)) return;
        if (named_.empty()) named_ = !owner.name.empty() ? owner.name : owner.binary;
        const std::uint32_t key = refused_ ? (kWholeSink | input->sink) : input->index;
        const auto monitor = monitors_.find(input->sink);
        if (monitor != monitors_.end()) {
            wanted_[key] = monitor->second;
            return;
        }
        betweenSinks_ = true;
        if (const auto recorded = streams_.find(input->index); recorded != streams_.end())
            wanted_[input->index] = recorded->second->monitor; // kept until it lands
        return;
    }
    if (!last) return;
    reconcile();
    listed_ = true;
    pa_operation_unref(std::exchange(asking_, nullptr));
    if (answered_) answered_();
    if (std::exchange(askAgain_, false)) {
        refresh();
    } else if (betweenSinks_) {
        askAgainSoon();
    }
}

void AppStreams::askAgainSoon() {
    constexpr pa_usec_t kSettleMicroseconds = 100'000;
    if (again_ != nullptr) {
        pa_context_rttime_restart(context_, again_, pa_rtclock_now() + kSettleMicroseconds);
        return;
    }
    again_ = pa_context_rttime_new(
        context_, pa_rtclock_now() + kSettleMicroseconds,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
            static_cast<AppStreams*>(self)->refresh();
        },
        this);
}

void AppStreams::reconcile() {
    std::vector<std::uint32_t> gone;
    for (const auto& [key, stream] : streams_) {
        const auto wanted = wanted_.find(key);
        if (stream->failed || wanted == wanted_.end() || wanted->second != stream->monitor)
            gone.push_back(key);
    }
    for (const std::uint32_t key : gone)
        close(key);
    for (const auto& [key, monitor] : wanted_)
        if (!streams_.contains(key)) open(key, monitor);
}

void AppStreams::open(std::uint32_t input, const std::string& monitor) {
    pa_stream* stream = pa_stream_new(context_, "Lumacore listen", &kCaptureSpec, nullptr);
    if (stream == nullptr) return;
    if ((input & kWholeSink) == 0 && pa_stream_set_monitor_stream(stream, input) < 0) {
        // A server that cannot record one stream alone: the whole sink it plays on, said once.
        refusal_ = "the sound server cannot record one application's streams alone (" +
                   std::string(pa_strerror(pa_context_errno(context_))) +
                   "); recording everything its sink plays";
        refused_ = true;
        pa_stream_unref(stream);
        askAgain_ = true; // the next answer asks for whole sinks
        return;
    }
    auto entry = std::make_unique<Stream>();
    entry->home = this;
    entry->input = input;
    entry->monitor = monitor;
    entry->stream = stream;
    pa_stream_set_read_callback(
        stream,
        [](pa_stream*, std::size_t, void* self) {
            Stream& s = *static_cast<Stream*>(self);
            s.home->read(s);
        },
        entry.get());
    pa_stream_set_state_callback(
        stream,
        [](pa_stream* s, void* self) {
            const pa_stream_state_t state = pa_stream_get_state(s);
            if (state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED) return;
            Stream& ended = *static_cast<Stream*>(self);
            ended.failed = true;
            ended.home->refresh();
        },
        entry.get());
    const pa_buffer_attr attributes = captureAttributes();
    if (pa_stream_connect_record(stream, monitor.c_str(), &attributes, captureFlags(true)) < 0)
        entry->failed = true;
    mixer_.add(static_cast<int>(input), secondsNow());
    streams_[input] = std::move(entry);
}

void AppStreams::close(std::uint32_t input) {
    const auto found = streams_.find(input);
    if (found == streams_.end()) return;
    pa_stream* stream = found->second->stream;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    mixer_.remove(static_cast<int>(input));
    streams_.erase(found);
}

void AppStreams::read(Stream& stream) {
    const double now = secondsNow();
    while (pa_stream_readable_size(stream.stream) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream.stream, &data, &bytes) < 0 || bytes == 0) return;
        const std::size_t frames = bytes / (2 * sizeof(float));
        std::vector<float> quiet; // a hole: silence
        const auto* samples = static_cast<const float*>(data);
        if (data == nullptr) {
            quiet.assign(2 * frames, 0.0f);
            samples = quiet.data();
        }
        mixer_.push(static_cast<int>(stream.input), samples, frames, now);
        if (sounded_) sounded_(samples, 2 * frames);
        pa_stream_drop(stream.stream);
    }
}

void AppStreams::take(std::vector<float>& frames, double now, CapturedFrames& taken) {
    taken.frames = mixer_.take(frames, now, taken.lost);
    taken.latency = streams_.empty() ? 0 : captureLatency(streams_.begin()->second->stream);
}

} // namespace lumacore::cli
