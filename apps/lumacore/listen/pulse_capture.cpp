// Recording through libpulse's threaded main loop: the library's thread runs the callbacks (the
// steps of connecting, the data, the server's changes); the program's thread takes the loop's
// lock only to read what they left, and waits on the loop's signal only before the capture runs
// (at the start, for the list of sources), never longer than kConnectSeconds.
#include "listen/pulse_capture.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "listen/app_streams.h"
#include "listen/pulse_format.h"

namespace lumacore::cli {
namespace {

static_assert(kCaptureRate == SoundCapture::kSampleRate);

using SteadyClock = std::chrono::steady_clock;

double secondsNow() {
    return std::chrono::duration<double>(SteadyClock::now().time_since_epoch()).count();
}

// The loop's lock for as long as it lives.
class Locked {
  public:
    explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop); }
    ~Locked() { pa_threaded_mainloop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

} // namespace

std::string soundServerName() {
    const char* server = std::getenv("PULSE_SERVER");
    if (server != nullptr && *server != '\0') return std::string("'") + server + "'";
    return "the default PulseAudio server";
}

struct PulseCapture::Impl {
    enum class Phase { Connecting, Recording, Failed };

    CaptureTarget target;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    Phase phase = Phase::Failed;
    std::string failure;               // why the last attempt failed, one line
    SteadyClock::time_point attempted; // when the last attempt began
    std::string recording;             // the source's name
    std::string description;           // and its description
    FrameQueue pending;
    SoundSources listing;               // filled by the callbacks of a question
    bool listed = false;                // the listing is complete
    bool timedOut = false;              // a wait's deadline passed
    bool subscribed = false;            // to the server's changes, on this context
    std::unique_ptr<AppStreams> apps;   // recording an application's streams
    std::vector<PlayingStream> playing; // filled by the callbacks of a question
    std::map<std::uint32_t, std::string> sinkNames;
    bool playingListed = false;
    SoundArrival arrival;        // sound come in since the last take
    bool quietFragments = false; // the stream's fragments are the longer ones

    Impl() : loop(pa_threaded_mainloop_new()) {
        if (loop == nullptr || pa_threaded_mainloop_start(loop) < 0)
            throw CaptureError("no sound server: cannot start the PulseAudio client's thread");
    }
    ~Impl() {
        {
            const Locked lock(loop);
            disconnect();
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    void signal() { pa_threaded_mainloop_signal(loop, 0); }

    bool contextGood() const {
        return context != nullptr && PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    }

    std::string lastError() const {
        return context != nullptr ? pa_strerror(pa_context_errno(context)) : "no context";
    }

    void fail(const std::string& why) {
        phase = Phase::Failed;
        failure = why;
        signal();
    }

    // Under the lock, on the program's thread: waits for `done` at most kConnectSeconds; false
    // when the time ran out first.
    bool waitFor(const std::function<bool()>& done) {
        if (done()) return true;
        if (context == nullptr) return false;
        timedOut = false;
        pa_time_event* deadline = pa_context_rttime_new(
            context, pa_rtclock_now() + static_cast<pa_usec_t>(kConnectSeconds * 1e6),
            [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
                static_cast<Impl*>(self)->timedOut = true;
                static_cast<Impl*>(self)->signal();
            },
            this);
        while (!done() && !timedOut)
            pa_threaded_mainloop_wait(loop);
        if (deadline != nullptr) pa_threaded_mainloop_get_api(loop)->time_free(deadline);
        return done();
    }

    // The record stream ends, its callbacks cleared first.
    void dropStream() {
        if (stream == nullptr) return;
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
        stream = nullptr;
    }

    void disconnect() {
        apps.reset();
        subscribed = false;
        dropStream();
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
    }

    // Under the lock: a new attempt, carried on by the callbacks below.
    void connect() {
        disconnect();
        phase = Phase::Connecting;
        failure.clear();
        pending.clear(); // what came before the server went away is not drawn late
        attempted = SteadyClock::now();
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Lumacore");
        if (context == nullptr) return fail("no sound server: cannot make a client");
        pa_context_set_state_callback(
            context, [](pa_context*, void* self) { static_cast<Impl*>(self)->contextChanged(); },
            this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            fail(connectFailure());
    }

    std::string connectFailure() const {
        return "no sound server: cannot connect to " + soundServerName() + " (" + lastError() + ")";
    }

    void contextChanged() {
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (phase == Phase::Connecting) askSources();
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            if (phase == Phase::Connecting) return fail(connectFailure());
            fail("the sound server has gone away");
            break;
        default:
            break;
        }
    }

    // The server's defaults and every source, into `listing`; then, while connecting, the stream.
    void askSources() {
        listing = {};
        listed = false;
        pa_operation* asking = pa_context_get_server_info(
            context,
            [](pa_context* c, const pa_server_info* info, void* data) {
                static_cast<Impl*>(data)->serverIs(c, info);
            },
            this);
        if (asking == nullptr) return fail("the sound server does not answer: " + lastError());
        pa_operation_unref(asking);
    }

    void serverIs(pa_context* c, const pa_server_info* info) {
        if (info != nullptr && info->default_sink_name != nullptr)
            listing.defaultSinkMonitor = std::string(info->default_sink_name) + ".monitor";
        pa_operation* asking = pa_context_get_source_info_list(
            c,
            [](pa_context*, const pa_source_info* source, int last, void* data) {
                static_cast<Impl*>(data)->sourceIs(source, last != 0);
            },
            this);
        if (asking == nullptr) return fail("the sound server does not answer: " + lastError());
        pa_operation_unref(asking);
    }

    void sourceIs(const pa_source_info* source, bool last) {
        if (!last && source != nullptr)
            listing.sources.push_back(
                {source->name, source->description != nullptr ? source->description : ""});
        if (!last) return;
        listed = true;
        // Once: a listing asked for before a retarget may answer after it.
        if (phase == Phase::Connecting && stream == nullptr && !apps) startRecording();
        signal();
    }

    // The target's streams: an application's (recording from then on), or one source's.
    void startRecording() {
        subscribe();
        if (!target.app) return openStream();
        apps = std::make_unique<AppStreams>(
            context, pa_threaded_mainloop_get_api(loop), *target.app, kMaxQueued,
            [this] { signal(); },
            [this](const float* samples, std::size_t floats) { arrival.heard(samples, floats); });
        phase = Phase::Recording;
    }

    void openStream() {
        recording = target.source.empty() ? listing.defaultSinkMonitor : target.source;
        bool known = false;
        for (const SoundSource& source : listing.sources)
            known = known || source.name == recording;
        if (!known)
            return fail(recording.empty() ? "the sound server has no default sink to listen to"
                                          : "no source named '" + recording + "'");
        stream = pa_stream_new(context, "Lumacore listen", &kCaptureSpec, nullptr);
        quietFragments = false;
        if (stream == nullptr) return fail("cannot record: " + lastError());
        pa_stream_set_state_callback(
            stream, [](pa_stream*, void* self) { static_cast<Impl*>(self)->streamChanged(); },
            this);
        pa_stream_set_read_callback(
            stream,
            [](pa_stream* s, std::size_t, void* self) { static_cast<Impl*>(self)->read(s); }, this);
        const pa_buffer_attr attributes = captureAttributes();
        if (pa_stream_connect_record(stream, recording.c_str(), &attributes,
                                     captureFlags(!target.source.empty())) < 0)
            fail("cannot record '" + recording + "': " + lastError());
    }

    void streamChanged() {
        switch (pa_stream_get_state(stream)) {
        case PA_STREAM_READY:
            if (phase != Phase::Connecting) break;
            describe();
            phase = Phase::Recording;
            signal();
            break;
        case PA_STREAM_FAILED:
        case PA_STREAM_TERMINATED:
            if (phase == Phase::Connecting)
                return fail("cannot record '" + recording + "': " + lastError());
            fail("the sound server has gone away");
            break;
        default:
            break;
        }
    }

    void describe() {
        description = recording;
        for (const SoundSource& source : listing.sources)
            if (source.name == recording) description = source.description;
    }

    // On the library's thread: every fragment waiting, into `pending` (a hole as silence); the
    // oldest are let go beyond kMaxQueued.
    void read(pa_stream* s) {
        std::vector<float>& samples = pending.samples;
        const std::size_t before = samples.size();
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
            const std::size_t floats = bytes / sizeof(float);
            if (data != nullptr) {
                const auto* from = static_cast<const float*>(data);
                samples.insert(samples.end(), from, from + floats);
            } else {
                samples.insert(samples.end(), floats, 0.0f);
            }
            pa_stream_drop(s);
        }
        arrival.heard(samples.data() + before, samples.size() - before);
        fitFragments(s);
        pending.bound(kMaxQueued);
    }

    // Longer fragments while the picture rests, short ones again once sound comes.
    void fitFragments(pa_stream* s) {
        const bool quiet = arrival.quiet();
        if (quiet == quietFragments) return;
        quietFragments = quiet;
        const pa_buffer_attr attributes =
            captureAttributes(quiet ? kQuietFragmentMicroseconds : kFragmentMicroseconds);
        pa_operation* changing = pa_stream_set_buffer_attr(s, &attributes, nullptr, nullptr);
        if (changing != nullptr) pa_operation_unref(changing);
    }

    // The server's changes: a new default sink (its monitor is followed when no source was
    // named), and streams and sinks coming, going and moving (an application's are followed).
    void subscribe() {
        if (subscribed) return;
        subscribed = true;
        pa_context_set_subscribe_callback(
            context,
            [](pa_context* c, pa_subscription_event_type_t type, std::uint32_t, void* data) {
                static_cast<Impl*>(data)->changed(c, type);
            },
            this);
        const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SERVER |
                                                              PA_SUBSCRIPTION_MASK_SINK |
                                                              PA_SUBSCRIPTION_MASK_SINK_INPUT);
        pa_operation* operation = pa_context_subscribe(context, mask, nullptr, nullptr);
        if (operation != nullptr) pa_operation_unref(operation);
    }

    void changed(pa_context* c, pa_subscription_event_type_t type) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility != PA_SUBSCRIPTION_EVENT_SERVER) {
            if (apps) apps->refresh();
            return;
        }
        if (target.app || !target.source.empty() || stream == nullptr) return;
        pa_operation* operation = pa_context_get_server_info(
            c,
            [](pa_context* c2, const pa_server_info* info, void* self) {
                static_cast<Impl*>(self)->defaultSinkIs(c2, info);
            },
            this);
        if (operation != nullptr) pa_operation_unref(operation);
    }

    // Every sink and stream of the server, into `playing`.
    void askStreams() {
        playing.clear();
        sinkNames.clear();
        playingListed = false;
        pa_operation* asking = pa_context_get_sink_info_list(
            context,
            [](pa_context* c, const pa_sink_info* sink, int last, void* data) {
                auto* self = static_cast<Impl*>(data);
                if (!last && sink != nullptr && sink->name != nullptr)
                    self->sinkNames[sink->index] = sink->name;
                if (!last) return;
                pa_operation* next = pa_context_get_sink_input_info_list(
                    c,
                    [](pa_context*, const pa_sink_input_info* input, int eol, void* data2) {
                        static_cast<Impl*>(data2)->streamIs(input, eol != 0);
                    },
                    self);
                if (next != nullptr) pa_operation_unref(next);
            },
            this);
        if (asking != nullptr) pa_operation_unref(asking);
    }

    void streamIs(const pa_sink_input_info* input, bool last) {
        if (!last && input != nullptr) {
            const auto sink = sinkNames.find(input->sink);
            playing.push_back({input->index, ownerOf(*input),
                               sink != sinkNames.end() ? sink->second : std::string()});
        }
        if (last) {
            playingListed = true;
            signal();
        }
    }

    void defaultSinkIs(pa_context* c, const pa_server_info* info) {
        if (info == nullptr || info->default_sink_name == nullptr || stream == nullptr) return;
        const std::string monitor = std::string(info->default_sink_name) + ".monitor";
        if (monitor == recording) return;
        recording = monitor;
        description = monitor;
        pa_operation* moving = pa_context_move_source_output_by_name(
            c, pa_stream_get_index(stream), monitor.c_str(), nullptr, nullptr);
        if (moving != nullptr) pa_operation_unref(moving);
        pa_operation* asking = pa_context_get_source_info_by_name(
            c, monitor.c_str(),
            [](pa_context*, const pa_source_info* source, int, void* self) {
                if (source != nullptr && source->description != nullptr)
                    static_cast<Impl*>(self)->description = source->description;
            },
            this);
        if (asking != nullptr) pa_operation_unref(asking);
    }
};

PulseCapture::PulseCapture(const CaptureTarget& target) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.target = target;
    const Locked lock(impl.loop);
    impl.connect();
    const auto ready = [&] {
        return impl.phase == Impl::Phase::Failed ||
               (impl.phase == Impl::Phase::Recording && (!impl.apps || impl.apps->listed()));
    };
    if (!impl.waitFor(ready)) {
        impl.disconnect();
        throw CaptureError("no sound server: " + soundServerName() + " did not answer within " +
                           std::to_string(static_cast<int>(kConnectSeconds)) + " s");
    }
    if (impl.phase == Impl::Phase::Failed) {
        impl.disconnect();
        throw CaptureError(impl.failure);
    }
}

PulseCapture::~PulseCapture() = default;

SoundSources PulseCapture::sources() {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (impl.phase != Impl::Phase::Recording || !impl.contextGood())
        throw CaptureError("the sound server has gone away");
    impl.askSources();
    if (!impl.waitFor([&] { return impl.listed || impl.phase == Impl::Phase::Failed; }) ||
        !impl.listed)
        throw CaptureError("the sound server did not list its sources");
    return impl.listing;
}

std::vector<PlayingStream> PulseCapture::streams() {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (!impl.contextGood()) throw CaptureError("the sound server has gone away");
    impl.askStreams();
    if (!impl.waitFor([&] { return impl.playingListed || !impl.contextGood(); }) ||
        !impl.playingListed)
        throw CaptureError("the sound server did not list its streams");
    return impl.playing;
}

void PulseCapture::retarget(const CaptureTarget& target) {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (target == impl.target) return;
    impl.target = target;
    impl.apps.reset();
    impl.dropStream();
    impl.pending.clear();
    if (impl.phase != Impl::Phase::Recording || !impl.contextGood()) return; // at the next try
    impl.phase = Impl::Phase::Connecting;
    impl.attempted = SteadyClock::now();
    impl.askSources(); // the defaults may have changed; then the target's streams
}

std::size_t PulseCapture::appStreams() const {
    const Locked lock(impl_->loop);
    return impl_->apps ? impl_->apps->recording() : 0;
}

std::string PulseCapture::takeNotice() {
    const Locked lock(impl_->loop);
    return impl_->apps ? impl_->apps->takeRefusal() : std::string();
}

void PulseCapture::waitForSound(double seconds) {
    impl_->arrival.wait(seconds);
}

SoundArrival& PulseCapture::arrival() {
    return impl_->arrival;
}

CapturedFrames PulseCapture::take(std::vector<float>& frames) {
    Impl& impl = *impl_;
    impl.arrival.clear();
    const Locked lock(impl.loop);
    CapturedFrames taken;
    if (impl.apps) {
        impl.apps->take(frames, secondsNow(), taken);
        return taken;
    }
    impl.pending.takeInto(frames, taken);
    taken.latency = captureLatency(impl.stream);
    return taken;
}

PulseCapture::Link PulseCapture::link() {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (impl.phase == Impl::Phase::Connecting) {
        const std::chrono::duration<double> trying = SteadyClock::now() - impl.attempted;
        if (trying.count() <= kConnectSeconds) return Link::Connecting;
        impl.disconnect(); // a server that does not answer is as good as gone
        impl.fail("no sound server: " + soundServerName() + " did not answer");
    }
    const bool recording = impl.phase == Impl::Phase::Recording && impl.contextGood() &&
                           (impl.apps || (impl.stream != nullptr &&
                                          PA_STREAM_IS_GOOD(pa_stream_get_state(impl.stream))));
    return recording ? Link::Recording : Link::Away;
}

void PulseCapture::reconnect() {
    const Locked lock(impl_->loop);
    impl_->connect();
}

std::string PulseCapture::description() const {
    const Locked lock(impl_->loop);
    return impl_->apps ? impl_->apps->description() : impl_->description;
}

} // namespace lumacore::cli
