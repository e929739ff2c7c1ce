// Recording through libpulse's threaded main loop: the library's thread runs the callbacks (the
// data, the server's changes), the program's thread waits on the loop's lock and signal for each
// question it asks.
#include "listen/pulse_capture.h"

#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <cstring>

namespace lumacore::cli {
namespace {

constexpr pa_sample_spec kSpec{PA_SAMPLE_FLOAT32NE, PulseCapture::kSampleRate, 2};
constexpr pa_usec_t kFragmentMicroseconds = 10000; // the lag a fragment adds

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
    std::string wanted; // empty: the default sink's monitor, followed
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::string recording;   // the source's name
    std::string description; // and its description
    std::vector<float> pending;
    SoundSources listing; // filled by the callbacks of a question

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

    // Waits, under the lock, for the operation's callbacks; false when the server went away.
    bool await(pa_operation* operation) {
        if (operation == nullptr) return false;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING && contextGood())
            pa_threaded_mainloop_wait(loop);
        const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
        pa_operation_unref(operation);
        return done;
    }

    std::string lastError() const {
        return context != nullptr ? pa_strerror(pa_context_errno(context)) : "no context";
    }

    void disconnect() {
        if (stream != nullptr) {
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
        }
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
    }

    // Under the lock: the context, the source to record, the stream. Throws CaptureError.
    void connect() {
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Lumacore");
        if (context == nullptr) throw CaptureError("no sound server: cannot make a client");
        pa_context_set_state_callback(
            context, [](pa_context*, void* self) { static_cast<Impl*>(self)->signal(); }, this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            while (pa_context_get_state(context) != PA_CONTEXT_READY && contextGood())
                pa_threaded_mainloop_wait(loop);
        }
        if (pa_context_get_state(context) != PA_CONTEXT_READY)
            throw CaptureError("no sound server: cannot connect to " + soundServerName() + " (" +
                               lastError() + ")");
        askSources();
        recording = wanted.empty() ? listing.defaultSinkMonitor : wanted;
        openStream();
        describe();
        if (wanted.empty()) followDefaultSink();
    }

    // The server's defaults and every source, into `listing`.
    void askSources() {
        listing = {};
        await(pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* self = static_cast<Impl*>(data);
                if (info != nullptr) {
                    if (info->default_source_name != nullptr)
                        self->listing.defaultSource = info->default_source_name;
                    if (info->default_sink_name != nullptr)
                        self->listing.defaultSinkMonitor =
                            std::string(info->default_sink_name) + ".monitor";
                }
                self->signal();
            },
            this));
        await(pa_context_get_source_info_list(
            context,
            [](pa_context*, const pa_source_info* info, int last, void* data) {
                auto* self = static_cast<Impl*>(data);
                if (last == 0 && info != nullptr)
                    self->listing.sources.push_back(
                        {info->name, info->description != nullptr ? info->description : ""});
                if (last != 0) self->signal();
            },
            this));
    }

    void describe() {
        description = recording;
        for (const SoundSource& source : listing.sources)
            if (source.name == recording) description = source.description;
    }

    void openStream() {
        bool known = false;
        for (const SoundSource& source : listing.sources)
            known = known || source.name == recording;
        if (!known)
            throw CaptureError(recording.empty()
                                   ? "the sound server has no default sink to listen to"
                                   : "no source named '" + recording + "'");
        stream = pa_stream_new(context, "Lumacore listen", &kSpec, nullptr);
        if (stream == nullptr) throw CaptureError("cannot record: " + lastError());
        pa_stream_set_state_callback(
            stream, [](pa_stream*, void* self) { static_cast<Impl*>(self)->signal(); }, this);
        pa_stream_set_read_callback(
            stream,
            [](pa_stream* s, std::size_t, void* self) { static_cast<Impl*>(self)->read(s); }, this);
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xff, sizeof attributes); // the server's choice where not set
        attributes.fragsize =
            static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentMicroseconds, &kSpec));
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | (wanted.empty() ? 0 : PA_STREAM_DONT_MOVE));
        if (pa_stream_connect_record(stream, recording.c_str(), &attributes, flags) >= 0) {
            while (pa_stream_get_state(stream) == PA_STREAM_CREATING && contextGood())
                pa_threaded_mainloop_wait(loop);
        }
        if (pa_stream_get_state(stream) != PA_STREAM_READY)
            throw CaptureError("cannot record '" + recording + "': " + lastError());
    }

    // On the library's thread: every fragment waiting, into `pending` (a hole as silence).
    void read(pa_stream* s) {
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
            const std::size_t floats = bytes / sizeof(float);
            if (data != nullptr) {
                const auto* samples = static_cast<const float*>(data);
                pending.insert(pending.end(), samples, samples + floats);
            } else {
                pending.insert(pending.end(), floats, 0.0f);
            }
            pa_stream_drop(s);
        }
    }

    // When the default sink changes, the stream moves to its monitor.
    void followDefaultSink() {
        pa_context_set_subscribe_callback(
            context,
            [](pa_context* c, pa_subscription_event_type_t type, std::uint32_t, void* data) {
                if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SERVER)
                    return;
                pa_operation* operation = pa_context_get_server_info(
                    c,
                    [](pa_context* c2, const pa_server_info* info, void* self2) {
                        static_cast<Impl*>(self2)->defaultSinkIs(c2, info);
                    },
                    data);
                if (operation != nullptr) pa_operation_unref(operation);
            },
            this);
        pa_operation* operation =
            pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr);
        if (operation != nullptr) pa_operation_unref(operation);
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

PulseCapture::PulseCapture(const std::string& source) : impl_(std::make_unique<Impl>()) {
    impl_->wanted = source;
    const Locked lock(impl_->loop);
    try {
        impl_->connect();
    } catch (...) {
        impl_->disconnect();
        throw;
    }
}

PulseCapture::~PulseCapture() = default;

SoundSources PulseCapture::sources() {
    const Locked lock(impl_->loop);
    if (!impl_->contextGood()) throw CaptureError("the sound server has gone away");
    impl_->askSources();
    return impl_->listing;
}

std::size_t PulseCapture::take(std::vector<float>& frames) {
    const Locked lock(impl_->loop);
    const std::size_t count = impl_->pending.size() / 2;
    frames.insert(frames.end(), impl_->pending.begin(),
                  impl_->pending.begin() + static_cast<std::ptrdiff_t>(2 * count));
    impl_->pending.erase(impl_->pending.begin(),
                         impl_->pending.begin() + static_cast<std::ptrdiff_t>(2 * count));
    return count;
}

bool PulseCapture::connected() const {
    const Locked lock(impl_->loop);
    return impl_->contextGood() && impl_->stream != nullptr &&
           PA_STREAM_IS_GOOD(pa_stream_get_state(impl_->stream));
}

bool PulseCapture::reconnect() {
    const Locked lock(impl_->loop);
    impl_->disconnect();
    try {
        impl_->connect();
        return true;
    } catch (const CaptureError&) {
        impl_->disconnect();
        return false;
    }
}

std::string PulseCapture::description() const {
    const Locked lock(impl_->loop);
    return impl_->description;
}

} // namespace lumacore::cli
