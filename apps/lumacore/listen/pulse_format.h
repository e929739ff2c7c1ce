// How every record stream of `listen` asks the server for its sound: stereo float at 44.1 kHz in
// small fragments, with timing info the server keeps up to date.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstring>

namespace lumacore::cli {

inline constexpr int kCaptureRate = 44100;
inline constexpr pa_sample_spec kCaptureSpec{PA_SAMPLE_FLOAT32NE, kCaptureRate, 2};
inline constexpr pa_usec_t kFragmentMicroseconds = 2500; // the lag a fragment adds
// While the picture rests, silence comes in fragments this long: the first sound after it is up to
// one of them late, and the capture's thread wakes 20 times a second rather than 400.
inline constexpr pa_usec_t kQuietFragmentMicroseconds = 50000;

// The server's choice but for the fragment size.
inline pa_buffer_attr captureAttributes(pa_usec_t fragment = kFragmentMicroseconds) {
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xff, sizeof attributes);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(fragment, &kCaptureSpec));
    return attributes;
}

// A fragment size asked for, and timing info for each take's latency; `pinned`: the stream stays
// on its source when the default changes.
inline pa_stream_flags_t captureFlags(bool pinned) {
    return static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                          PA_STREAM_INTERPOLATE_TIMING |
                                          (pinned ? PA_STREAM_DONT_MOVE : 0));
}

// How long ago the newest frame read from `stream` was at its source (negative: yet to be
// heard), as the server's timing info says; 0 when it says nothing yet.
inline double captureLatency(pa_stream* stream) {
    pa_usec_t usec = 0;
    int negative = 0;
    if (stream == nullptr || pa_stream_get_latency(stream, &usec, &negative) != 0) return 0;
    const double seconds = static_cast<double>(usec) / 1e6;
    return negative != 0 ? -seconds : seconds;
}

} // namespace lumacore::cli
