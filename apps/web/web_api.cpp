// The page's one display, driven from JavaScript: what it draws from (a sound the browser
// decoded, a frames file, live sound), the module runner the native programs use, and the
// picture as the canvas takes it. Every entry point returns 0 (or a value) or -1 after keeping
// one line for lumacore_error(); nothing throws across to the page.
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "audio/sample_buffer.h"
#include "browser_sound.h"
#include "canvas_text_renderer.h"
#include "output/pixels.h"
#include "pipeline/call_source.h"
#include "pipeline/entry_calls.h"
#include "pipeline/live_analysis.h"
#include "pipeline/module_runner.h"

namespace lumacore::web {
namespace {

using namespace lumacore::cli;

constexpr int kMaxSide = 4096;
constexpr const char* kFramesFile = "/input.frames"; // written there by the page

enum class Source { None, Sound, Frames, Live };

struct Session {
    CanvasTextRenderer text;
    Source source = Source::None;
    std::unique_ptr<SampleBuffer> samples; // a decoded sound's
    EntryCalls calls;                      // a sound's analysis or a frames file's
    // Live sound: the live path every live end shares, and room for the frames pushed.
    std::unique_ptr<LiveAnalysis> live;
    std::vector<float> incoming;
    double rate = 60; // calls per second
    std::unique_ptr<ModuleRunner> runner;
    std::vector<std::uint8_t> rgba;
    std::string error;

    // Nothing reads the old source any more.
    void drop() {
        if (live) live->drive(nullptr);
        runner.reset();
        calls.reset();
        live.reset();
        samples.reset();
        source = Source::None;
    }
    CallSource& callSource() {
        if (source == Source::Live) return live->calls();
        return calls;
    }
};

Session& session() {
    static Session s;
    return s;
}

// Runs `step`, keeping its failure's message: 0, or -1.
template <typename Step> int guarded(Step&& step) {
    Session& s = session();
    try {
        s.error.clear();
        step(s);
        return 0;
    } catch (const std::exception& failure) {
        s.error = failure.what();
        return -1;
    }
}

void require(bool condition, const char* problem) {
    if (!condition) throw std::invalid_argument(problem);
}

void requireSize(int width, int height) {
    require(width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide,
            "the picture must be 1 to 4096 pixels wide and high");
}

// Seconds on the page's steady clock.
double secondsNow() {
    return emscripten_get_now() / 1000;
}

// The calls begin at `seconds` of the source.
void readFrom(Session& s, double seconds) {
    switch (s.source) {
    case Source::Sound: {
        const int sampleRate = s.samples->info().sampleRate;
        const auto frame = static_cast<std::int64_t>(std::llround(seconds * sampleRate));
        s.calls.reset();
        s.samples->seek(frame);
        s.calls.analyse(*s.samples, s.rate, frame);
        break;
    }
    case Source::Frames:
        s.calls.record(std::make_unique<RecordedCalls>(kFramesFile, seconds), seconds);
        break;
    case Source::Live:
        s.live->restartAt(secondsNow(), s.rate); // the time away was not silence
        break;
    case Source::None:
        throw std::logic_error("nothing to draw from");
    }
}

} // namespace
} // namespace lumacore::web

using lumacore::web::guarded;
using lumacore::web::require;
using lumacore::web::requireSize;
using lumacore::web::Session;
using lumacore::web::Source;

extern "C" {

// The last failure, one line; "" after a success.
EMSCRIPTEN_KEEPALIVE const char* lumacore_error() {
    return lumacore::web::session().error.c_str();
}

// Draws from the page's decoded sound `id` (Module.sounds): `frames` stereo frames at
// `sampleRate`, its banner title `title`.
EMSCRIPTEN_KEEPALIVE int lumacore_use_sound(int id, double frames, int sampleRate,
                                            const char* title) {
    return guarded([&](Session& s) {
        require(frames >= 1 && frames < 1e12, "the sound holds no samples");
        s.drop();
        s.samples = std::make_unique<lumacore::cli::SampleBuffer>(
            std::make_unique<lumacore::web::BrowserSound>(id, static_cast<std::int64_t>(frames),
                                                          sampleRate, title));
        s.source = Source::Sound;
    });
}

// Draws from the frames file the page wrote to /input.frames; its length in seconds, or -1.
EMSCRIPTEN_KEEPALIVE double lumacore_use_frames() {
    double length = -1;
    const int result = guarded([&](Session& s) {
        s.drop();
        const lumacore::cli::RecordedCalls recorded(lumacore::web::kFramesFile, 0);
        length = recorded.lengthSeconds();
        s.source = Source::Frames;
    });
    return result == 0 ? length : -1;
}

// Draws from live sound at `sampleRate`, pushed with lumacore_live_push.
EMSCRIPTEN_KEEPALIVE int lumacore_use_live(int sampleRate) {
    return guarded([&](Session& s) {
        lumacore::cli::checkSampleRate(sampleRate, "the live sound");
        s.drop();
        s.live = std::make_unique<lumacore::cli::LiveAnalysis>(sampleRate);
        s.live->restartAt(lumacore::web::secondsNow(), s.rate);
        s.source = Source::Live;
    });
}

// Room for `frames` stereo frames of live sound, interleaved; then lumacore_live_push(frames).
EMSCRIPTEN_KEEPALIVE float* lumacore_live_space(int frames) {
    Session& s = lumacore::web::session();
    if (frames < 0 || frames > (1 << 20)) return nullptr;
    s.incoming.resize(2 * static_cast<std::size_t>(frames));
    return s.incoming.data();
}

EMSCRIPTEN_KEEPALIVE int lumacore_live_push(int frames) {
    return guarded([&](Session& s) {
        require(s.source == Source::Live, "not listening");
        require(frames >= 0 && 2 * static_cast<std::size_t>(frames) <= s.incoming.size(),
                "more live frames than room for them");
        s.live->hear(lumacore::web::secondsNow(), s.incoming.data(), frames, 0);
    });
}

// The moment of live sound the picture shows now: the live path's, with silence for time a quiet
// source left uncovered, never beyond the newest call whose sound is in, never back.
EMSCRIPTEN_KEEPALIVE double lumacore_live_time() {
    Session& s = lumacore::web::session();
    if (s.source != Source::Live) return -1;
    return s.live->pictureTime(lumacore::web::secondsNow());
}

// Starts the display from the source's beginning (live sound: from now): module 0 history, 1
// oscilloscope, 2 VU meter; `rate` Render calls a second; the banner's title in UTF-8.
EMSCRIPTEN_KEEPALIVE int lumacore_start(int module, int threeD, double brightness, int width,
                                        int height, double rate, const char* title) {
    return guarded([&](Session& s) {
        require(s.source != Source::None, "nothing to draw from");
        require(module >= 0 && module <= 2, "module must be history, scope or vu");
        requireSize(width, height);
        require(rate >= 1 && rate <= 1000, "the rate must be 1 to 1000 calls a second");
        if (s.live) s.live->drive(nullptr);
        s.runner.reset();
        s.rate = rate;
        lumacore::web::readFrom(s, 0);
        const lumacore::cli::Display display{static_cast<lumacore::cli::ModuleKind>(module),
                                             threeD != 0, static_cast<float>(brightness), width,
                                             height};
        s.runner =
            std::make_unique<lumacore::cli::ModuleRunner>(display, title, s.callSource(), s.text);
        s.runner->boundCatchUp(true); // a page back from the background shows the present at once
        if (s.live) s.live->drive(s.runner.get());
    });
}

// Makes every call due by `seconds`; 1 when the picture changed, 0 when not, -1 on failure.
EMSCRIPTEN_KEEPALIVE int lumacore_advance(double seconds) {
    bool changed = false;
    const int result = guarded([&](Session& s) {
        require(s.runner != nullptr, "the display has not started");
        const double before = s.runner->lastCallTime();
        s.runner->advanceTo(seconds);
        changed = s.runner->lastCallTime() != before;
    });
    return result == 0 ? changed : -1;
}

// Every call due by `seconds`, as `lumacore render` makes them for a still at that moment: the
// scripted pictures equal the program's, pixel for pixel. -1 on failure.
EMSCRIPTEN_KEEPALIVE int lumacore_render_at(double seconds) {
    return guarded([&](Session& s) {
        require(s.runner != nullptr, "the display has not started");
        s.runner->boundCatchUp(false);
        s.runner->advanceTo(seconds);
        s.runner->boundCatchUp(true);
    });
}

// The calls begin again at `seconds` (a seek; live sound: from now).
EMSCRIPTEN_KEEPALIVE int lumacore_seek(double seconds) {
    return guarded([&](Session& s) {
        require(s.runner != nullptr, "the display has not started");
        require(std::isfinite(seconds) && seconds >= 0, "a position must be 0 or more seconds");
        lumacore::web::readFrom(s, seconds); // live sound: the runner goes to the live position
        if (s.source != Source::Live) s.runner->seek(seconds);
    });
}

EMSCRIPTEN_KEEPALIVE int lumacore_set_mode(int threeD) {
    return guarded([&](Session& s) {
        if (s.runner) s.runner->setMode(threeD != 0);
    });
}

EMSCRIPTEN_KEEPALIVE int lumacore_set_brightness(double brightness) {
    return guarded([&](Session& s) {
        if (s.runner) s.runner->setBrightness(static_cast<float>(brightness));
    });
}

// Another module, or the same at another size; the picture starts afresh as in the player.
EMSCRIPTEN_KEEPALIVE int lumacore_set_module(int module, int width, int height) {
    return guarded([&](Session& s) {
        require(module >= 0 && module <= 2, "module must be history, scope or vu");
        requireSize(width, height);
        if (s.runner)
            s.runner->setModule(static_cast<lumacore::cli::ModuleKind>(module), width, height);
    });
}

// The history's window resized.
EMSCRIPTEN_KEEPALIVE int lumacore_set_size(int width, int height) {
    return guarded([&](Session& s) {
        requireSize(width, height);
        if (s.runner) s.runner->setClientSize(width, height);
    });
}

// Render calls made since the display started (a seek or another module does not reset it).
EMSCRIPTEN_KEEPALIVE double lumacore_calls_made() {
    const Session& s = lumacore::web::session();
    return s.runner ? static_cast<double>(s.runner->callsMade()) : 0;
}

EMSCRIPTEN_KEEPALIVE int lumacore_width() {
    const Session& s = lumacore::web::session();
    return s.runner ? s.runner->picture().width() : 0;
}

EMSCRIPTEN_KEEPALIVE int lumacore_height() {
    const Session& s = lumacore::web::session();
    return s.runner ? s.runner->picture().height() : 0;
}

// The picture as R, G, B, A bytes (A = 255), width x height of them; null before the start.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* lumacore_pixels() {
    Session& s = lumacore::web::session();
    if (!s.runner) return nullptr;
    lumacore::cli::toRgba(s.runner->picture(), 1, s.rgba);
    return s.rgba.data();
}

// The built-in tune's length in frames at 44100 Hz, and its banner title as `render` makes it.
EMSCRIPTEN_KEEPALIVE double lumacore_demo_frames() {
    const auto tune = lumacore::cli::demoTune(44100);
    return std::round(tune->info().durationSeconds * tune->info().sampleRate);
}

EMSCRIPTEN_KEEPALIVE const char* lumacore_demo_title() {
    static std::string title;
    const auto tune = lumacore::cli::demoTune(44100);
    title = tune->info().artist + " - " + tune->info().title;
    return title.c_str();
}

// The built-in tune for playback: `frames` stereo frames from frame `from` into `left` and
// `right` at 44100 Hz; how many there were.
EMSCRIPTEN_KEEPALIVE int lumacore_demo_read(double from, float* left, float* right, int frames) {
    static std::unique_ptr<lumacore::cli::AudioSource> tune;
    static std::vector<float> block;
    int got = 0;
    guarded([&](Session&) {
        if (!tune) tune = lumacore::cli::demoTune(44100);
        tune->seek(static_cast<std::int64_t>(from));
        block.resize(2 * static_cast<std::size_t>(frames));
        got = static_cast<int>(tune->read(block.data(), static_cast<std::size_t>(frames)));
        for (int i = 0; i < got; ++i) {
            left[i] = block[2 * i];
            right[i] = block[2 * i + 1];
        }
    });
    return got;
}

} // extern "C"
