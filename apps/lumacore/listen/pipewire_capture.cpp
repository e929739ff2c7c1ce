// Recording through PipeWire's thread loop: its thread runs the events (the steps of connecting,
// the registry's changes, the stream's buffers); the program's thread takes the loop's lock only
// to read what they left, and waits on the loop's signal only before the capture runs (at the
// start, for the lists), never longer than kConnectSeconds.
#include "listen/pipewire_capture.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

#include "audio/stereo_resampler.h"
#include "listen/pipewire_graph.h"
#include "listen/pipewire_links.h"
#include "listen/pipewire_registry.h"

namespace lumacore::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The quantum asked for: 128 frames at the graph's usual rate, 2.7 ms.
constexpr const char* kLatency = "128/48000";
// While the picture rests: 50 ms quanta, so that silence wakes this thread (and the graph, when
// nothing else in it asks for less) twenty times a second rather than 375.
constexpr const char* kQuietLatency = "2400/48000";
constexpr int kBuffers = 32;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string serverName() {
    const std::string socket = pipeWireSocket();
    return socket.empty() ? "PipeWire (no runtime folder is set)" : "PipeWire at '" + socket + "'";
}

// The loop's lock for as long as it lives.
class Locked {
  public:
    explicit Locked(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop); }
    ~Locked() { pw_thread_loop_unlock(loop_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    pw_thread_loop* loop_;
};

} // namespace

std::string pipeWireSocket() {
    std::string remote = environment("PIPEWIRE_REMOTE");
    if (remote.empty()) remote = "pipewire-0";
    if (remote.starts_with("/")) return remote;
    std::string folder = environment("PIPEWIRE_RUNTIME_DIR");
    if (folder.empty()) folder = environment("XDG_RUNTIME_DIR");
    return folder.empty() ? "" : folder + "/" + remote;
}

bool pipeWireAnswers() {
    const std::string path = pipeWireSocket();
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

struct PipeWireCapture::Impl {
    enum class Phase { Connecting, Recording, Failed };

    CaptureTarget target;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    std::unique_ptr<PipeWireRegistry> registry;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    std::unique_ptr<PipeWireLinks> links;
    Phase phase = Phase::Failed;
    std::string failure;               // why the last attempt failed, one line
    SteadyClock::time_point attempted; // when the last attempt began
    int syncSeq = -1;                  // the round trip awaited
    int roundTrips = 0;                // answered since the last ask
    bool graphKnown = false;           // the registry's first listing and the nodes' properties
    Recorded recorded;                 // what the links bring in now
    std::unique_ptr<StereoResampler> resampler; // to 44.1 kHz, once the graph's rate is known
    FrameQueue pending;
    pw_time timing{}; // the stream's, at its last buffer
    int streamRate = 0;
    SoundArrival arrival;      // sound come in since the last take
    bool quietLatency = false; // the stream asks for the longer quanta

    Impl() {
        pw_init(nullptr, nullptr);
        loop = pw_thread_loop_new("lumacore-pipewire", nullptr);
        if (loop == nullptr) throw CaptureError("no sound server: cannot make PipeWire's loop");
        context = pw_context_new(pw_thread_loop_get_loop(loop),
                                 pw_properties_new(PW_KEY_APP_NAME, "Lumacore", nullptr), 0);
        if (context == nullptr || pw_thread_loop_start(loop) < 0) {
            if (context != nullptr) pw_context_destroy(context);
            pw_thread_loop_destroy(loop);
            throw CaptureError("no sound server: cannot start the PipeWire client's thread");
        }
    }
    ~Impl() {
        {
            const Locked lock(loop);
            disconnect();
        }
        pw_thread_loop_stop(loop);
        pw_context_destroy(context);
        pw_thread_loop_destroy(loop);
    }

    void signal() { pw_thread_loop_signal(loop, false); }

    void fail(const std::string& why) {
        phase = Phase::Failed;
        failure = why;
        signal();
    }

    bool connected() const { return core != nullptr && phase != Phase::Failed; }

    // Under the lock, on the program's thread: waits for `done` at most kConnectSeconds; false
    // when the time ran out first.
    bool waitFor(const std::function<bool()>& done) {
        timespec deadline{};
        pw_thread_loop_get_time(loop, &deadline, static_cast<std::int64_t>(kConnectSeconds * 1e9));
        while (!done())
            if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0) return done();
        return true;
    }

    void dropStream() {
        links.reset();
        if (stream == nullptr) return;
        spa_hook_remove(&streamListener);
        pw_stream_destroy(stream);
        stream = nullptr;
        quietLatency = false; // a new stream asks for the short quanta
    }

    void disconnect() {
        dropStream();
        registry.reset();
        if (core != nullptr) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
            core = nullptr;
        }
        graphKnown = false;
    }

    // Under the lock: a new attempt, carried on by the events below.
    void connect() {
        disconnect();
        phase = Phase::Connecting;
        failure.clear();
        pending.clear(); // what came before the server went away is not drawn late
        attempted = SteadyClock::now();
        core = pw_context_connect(context, nullptr, 0);
        if (core == nullptr)
            return fail("no sound server: cannot connect to " + serverName() + " (" +
                        std::strerror(errno) + ")");
        static const pw_core_events events = {
            .version = PW_VERSION_CORE_EVENTS,
            .info = nullptr,
            .done = [](void* self, std::uint32_t id,
                       int seq) { static_cast<Impl*>(self)->answered(id, seq); },
            .ping = nullptr,
            .error =
                [](void* self, std::uint32_t id, int, int res, const char* message) {
                    static_cast<Impl*>(self)->coreError(id, res, message);
                },
            .remove_id = nullptr,
            .bound_id = nullptr,
            .add_mem = nullptr,
            .remove_mem = nullptr,
        };
        pw_core_add_listener(core, &coreListener, &events, this);
        registry = std::make_unique<PipeWireRegistry>(core, [this] { graphChanged(); });
        askRoundTrip();
    }

    void askRoundTrip() {
        roundTrips = 0;
        syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
    }

    // Two round trips make a listing whole: the first answers after every object the registry
    // announced, the second after the properties of the nodes bound meanwhile.
    void answered(std::uint32_t id, int seq) {
        if (id != PW_ID_CORE || seq != syncSeq) return;
        if (++roundTrips < 2) {
            syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
            return;
        }
        syncSeq = -1;
        if (!graphKnown) {
            graphKnown = true;
            if (phase == Phase::Connecting) startRecording();
        }
        signal();
    }

    void coreError(std::uint32_t id, int res, const char* message) {
        if (id != PW_ID_CORE) return; // a link refused: its own listener knows
        if (phase == Phase::Connecting)
            return fail("no sound server: cannot connect to " + serverName() + " (" +
                        (message != nullptr ? message : std::strerror(-res)) + ")");
        fail("the sound server has gone away");
    }

    // The capture stream, stereo float at the graph's rate, linked by us alone.
    void startRecording() {
        recorded = recordedFor(registry->graph(), target);
        if (!target.app && recorded.feeds.empty())
            return fail(target.source.empty() ? "the sound server has no default sink to listen to"
                                              : "no source named '" + target.source + "'");
        pw_properties* props = pw_properties_new(
            PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
            "Music", PW_KEY_NODE_NAME, "lumacore", PW_KEY_NODE_DESCRIPTION, "Lumacore listen",
            PW_KEY_NODE_AUTOCONNECT, "false", PW_KEY_NODE_LATENCY, kLatency, nullptr);
        stream = pw_stream_new(core, "Lumacore listen", props);
        if (stream == nullptr) return fail("cannot record: " + std::string(std::strerror(errno)));
        static const pw_stream_events events = {
            .version = PW_VERSION_STREAM_EVENTS,
            .destroy = nullptr,
            .state_changed =
                [](void* self, pw_stream_state, pw_stream_state state, const char* error) {
                    static_cast<Impl*>(self)->streamChanged(state, error);
                },
            .control_info = nullptr,
            .io_changed = nullptr,
            .param_changed =
                [](void* self, std::uint32_t id, const spa_pod* param) {
                    static_cast<Impl*>(self)->formatIs(id, param);
                },
            .add_buffer = nullptr,
            .remove_buffer = nullptr,
            .process = [](void* self) { static_cast<Impl*>(self)->read(); },
            .drained = nullptr,
            .command = nullptr,
            .trigger_done = nullptr,
        };
        pw_stream_add_listener(stream, &streamListener, &events, this);
        std::uint8_t buffer[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_audio_info_raw format{};
        format.format = SPA_AUDIO_FORMAT_F32;
        format.channels = 2;
        format.position[0] = SPA_AUDIO_CHANNEL_FL;
        format.position[1] = SPA_AUDIO_CHANNEL_FR; // no rate: the graph's own
        const spa_pod* params[] = {
            spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format),
            // Room for kBuffers quanta (86 ms at 128 frames) should this thread be late.
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
                SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, kBuffers)))};
        const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS);
        if (pw_stream_connect(stream, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 2) < 0)
            fail("cannot record: the PipeWire stream was refused");
    }

    void streamChanged(pw_stream_state state, const char* error) {
        switch (state) {
        case PW_STREAM_STATE_PAUSED:
        case PW_STREAM_STATE_STREAMING:
            if (phase != Phase::Connecting) break;
            links = std::make_unique<PipeWireLinks>(core, pw_stream_get_node_id(stream));
            phase = Phase::Recording;
            relink();
            signal();
            break;
        case PW_STREAM_STATE_ERROR:
            fail(phase == Phase::Connecting
                     ? "cannot record: " + std::string(error != nullptr ? error : "refused")
                     : "the sound server has gone away");
            break;
        default:
            break;
        }
    }

    void formatIs(std::uint32_t id, const spa_pod* param) {
        if (id != SPA_PARAM_Format || param == nullptr) return;
        spa_audio_info_raw format{};
        if (spa_format_audio_raw_parse(param, &format) < 0 || format.rate == 0) return;
        streamRate = static_cast<int>(format.rate);
        try {
            freshResampler();
        } catch (const std::runtime_error& error) {
            fail(error.what());
        }
    }

    // A resampler from the stream's rate that holds nothing of the sound before.
    void freshResampler() {
        resampler.reset();
        if (streamRate > 0) resampler = std::make_unique<StereoResampler>(streamRate, kSampleRate);
    }

    void graphChanged() {
        if (phase == Phase::Recording) relink();
    }

    // The links the target wants now, made and unmade.
    void relink() {
        if (!links || stream == nullptr) return;
        const Graph& graph = registry->graph();
        recorded = recordedFor(graph, target);
        links->keep(graph, linksFor(graph, recorded.feeds, pw_stream_get_node_id(stream)));
    }

    // On PipeWire's thread: every buffer waiting (one wake-up may stand for several), at 44.1 kHz
    // into `pending`; the oldest are let go beyond kMaxQueued.
    void read() {
        std::vector<float>& out = pending.samples;
        const std::size_t before = out.size();
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(stream)) {
            const spa_data& data = buffer->buffer->datas[0];
            if (data.data != nullptr && data.chunk != nullptr) {
                const std::uint32_t offset = std::min(data.chunk->offset, data.maxsize);
                const std::uint32_t bytes = std::min(data.chunk->size, data.maxsize - offset);
                const auto* samples = reinterpret_cast<const float*>(
                    static_cast<const std::uint8_t*>(data.data) + offset);
                const std::size_t frames = bytes / (2 * sizeof(float));
                if (resampler) resampler->convert(samples, frames, out);
            }
            pw_stream_queue_buffer(stream, buffer);
        }
        pw_stream_get_time_n(stream, &timing, sizeof timing);
        if (out.size() == before) return;
        arrival.heard(out.data() + before, out.size() - before);
        fitLatency();
        pending.bound(kMaxQueued);
    }

    // Under the lock: the graph once the server has told all it holds now (a round trip), for
    // listing its `what`. Throws CaptureError when it has gone away or does not answer.
    const Graph& listedGraph(const char* what) {
        if (!connected()) throw CaptureError("the sound server has gone away");
        askRoundTrip();
        if (!waitFor([&] { return syncSeq < 0 || !connected(); }) || !connected())
            throw CaptureError(std::string("the sound server did not list its ") + what);
        return registry->graph();
    }

    // Longer quanta while the picture rests, short ones again once sound comes.
    void fitLatency() {
        const bool quiet = arrival.quiet();
        if (quiet == quietLatency) return;
        quietLatency = quiet;
        const spa_dict_item item =
            SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, quiet ? kQuietLatency : kLatency);
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        pw_stream_update_properties(stream, &dict);
    }

    // How long ago the newest frame handed over was at its source: the graph's delay to it and the
    // time since the cycle that brought it (the resampler holds a fraction of a millisecond).
    double latency() const {
        if (timing.now == 0 || timing.rate.denom == 0) return 0;
        const double delay = static_cast<double>(timing.delay) * timing.rate.num /
                             static_cast<double>(timing.rate.denom);
        const double since = static_cast<double>(monotonicNs() - timing.now) / 1e9;
        return delay + since;
    }
};

PipeWireCapture::PipeWireCapture(const CaptureTarget& target) : impl_(std::make_unique<Impl>()) {
    Impl& impl = *impl_;
    impl.target = target;
    const Locked lock(impl.loop);
    impl.connect();
    if (!impl.waitFor([&] { return impl.phase != Impl::Phase::Connecting; })) {
        impl.disconnect();
        throw CaptureError("no sound server: " + serverName() + " did not answer within " +
                           std::to_string(static_cast<int>(kConnectSeconds)) + " s");
    }
    if (impl.phase == Impl::Phase::Failed) {
        impl.disconnect();
        throw CaptureError(impl.failure);
    }
}

PipeWireCapture::~PipeWireCapture() = default;

SoundSources PipeWireCapture::sources() {
    const Locked lock(impl_->loop);
    return sourceList(impl_->listedGraph("sources"));
}

std::vector<PlayingStream> PipeWireCapture::streams() {
    const Locked lock(impl_->loop);
    return playingStreams(impl_->listedGraph("streams"));
}

void PipeWireCapture::retarget(const CaptureTarget& target) {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (target == impl.target) return;
    impl.target = target;
    impl.pending.clear();
    impl.freshResampler();
    impl.relink(); // or at the next connection
}

std::size_t PipeWireCapture::appStreams() const {
    const Locked lock(impl_->loop);
    return impl_->target.app ? impl_->recorded.feeds.size() : 0;
}

void PipeWireCapture::waitForSound(double seconds) {
    impl_->arrival.wait(seconds);
}

SoundArrival& PipeWireCapture::arrival() {
    return impl_->arrival;
}

CapturedFrames PipeWireCapture::take(std::vector<float>& frames) {
    Impl& impl = *impl_;
    impl.arrival.clear();
    const Locked lock(impl.loop);
    CapturedFrames taken;
    impl.pending.takeInto(frames, taken);
    taken.latency = impl.latency();
    return taken;
}

PipeWireCapture::Link PipeWireCapture::link() {
    Impl& impl = *impl_;
    const Locked lock(impl.loop);
    if (impl.phase == Impl::Phase::Connecting) {
        const std::chrono::duration<double> trying = SteadyClock::now() - impl.attempted;
        if (trying.count() <= kConnectSeconds) return Link::Connecting;
        impl.disconnect(); // a server that does not answer is as good as gone
        impl.fail("no sound server: " + serverName() + " did not answer");
    }
    return impl.phase == Impl::Phase::Recording ? Link::Recording : Link::Away;
}

void PipeWireCapture::reconnect() {
    const Locked lock(impl_->loop);
    impl_->connect();
}

std::string PipeWireCapture::description() const {
    const Locked lock(impl_->loop);
    return impl_->recorded.description;
}

} // namespace lumacore::cli
