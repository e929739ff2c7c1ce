// The parts of the one pipeline on their own: the shared sample buffer (readers, seeks, bounded
// memory), the analyser at an absolute start frame, the module runner's live changes and banner
// timer, and the single classification of output names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "analysis/frames_export.h"
#include "audio/sample_buffer.h"
#include "audio_test_support.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "output/frame_sink.h"
#include "pipeline/module_runner.h"
#include "scope/vu_meter.h"

namespace lumacore::cli::test {
namespace {

// Sample value of frame f, channel c: distinct for every frame of the tests.
float valueAt(long long frame, int channel) {
    return static_cast<float>((frame * 7 + channel * 3) % 2001 - 1000) / 1000.0f;
}

void expectFrames(const std::vector<float>& got, long long first, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(got[2 * i + c], valueAt(first + static_cast<long long>(i), c))
                << "frame " << first + static_cast<long long>(i);
}

TEST(SampleBuffer, ReadersAtTheirOwnPacesSeeTheSourceAndMemoryStaysBounded) {
    constexpr long long kFrames = 2'000'000;
    SignalSource source(kFrames, valueAt, 44100, 1000); // odd-sized reads, like a decoder
    SampleBuffer buffer(source);
    SampleBuffer::Reader ahead(buffer, 0), behind(buffer, 0);
    std::vector<float> a(2 * 4096), b(2 * 1152);
    long long aheadAt = 0, behindAt = 0;
    std::int64_t mostHeld = 0;
    while (behindAt < kFrames) {
        // One reader runs up to 20000 frames ahead; the other reads overlapping windows.
        if (aheadAt < kFrames && aheadAt < behindAt + 20000) {
            const std::size_t got = ahead.read(aheadAt, a.data(), 4096);
            ASSERT_EQ(got, static_cast<std::size_t>(std::min<long long>(4096, kFrames - aheadAt)));
            expectFrames(a, aheadAt, got);
            aheadAt += static_cast<long long>(got);
        }
        const std::size_t got = behind.read(behindAt, b.data(), 1152);
        ASSERT_GT(got, 0u);
        expectFrames(b, behindAt, got);
        behindAt += 735;
        mostHeld = std::max(mostHeld, buffer.heldFrames());
    }
    EXPECT_LE(mostHeld, 20000 + 2 * 4096 + 1152) << "memory grew with the sound";
    EXPECT_EQ(behind.read(kFrames, b.data(), 10), 0u);
    EXPECT_TRUE(buffer.ended());
}

TEST(SampleBuffer, SeeksAndRefusesReadsItLetGo) {
    SignalSource source(100'000, valueAt);
    SampleBuffer buffer(source);
    SampleBuffer::Reader reader(buffer, 0);
    std::vector<float> out(2 * 500);
    ASSERT_EQ(reader.read(30'000, out.data(), 500), 500u);
    expectFrames(out, 30'000, 500);
    EXPECT_THROW(reader.read(29'999, out.data(), 1), std::logic_error);
    EXPECT_THROW(SampleBuffer::Reader(buffer, 10), std::logic_error);
    // Back to an earlier frame, and past the end.
    buffer.seek(1234);
    EXPECT_EQ(reader.position(), 1234);
    ASSERT_EQ(reader.read(1234, out.data(), 500), 500u);
    expectFrames(out, 1234, 500);
    buffer.seek(99'900);
    EXPECT_EQ(reader.read(99'900, out.data(), 500), 100u);
    expectFrames(out, 99'900, 100);
}

// --start: an analyser whose first call is at frame F of the buffer makes the calls an analyser
// of the sound cut at F makes, timed from 0.
TEST(SampleBuffer, AnalyserFromAnAbsoluteFrameMatchesTheCutSound) {
    for (const long long first : {0LL, 1LL, 5000LL, 44100LL * 3 + 17}) {
        SignalSource whole(44100 * 5, sines(0.5, 440, 0.3, 3000));
        whole.seek(first);
        SampleBuffer buffer(whole, first);
        Analyser fromBuffer(buffer, 29.97, first);
        SignalSource cut(44100 * 5 - first, [first](long long f, int c) {
            return sines(0.5, 440, 0.3, 3000)(f + first, c);
        });
        const std::vector<Frame> expected = analyseAll(cut, 29.97);
        std::size_t n = 0;
        winampVisModule module;
        double time = 0;
        while (fromBuffer.next(module, time)) {
            ASSERT_LT(n, expected.size());
            EXPECT_EQ(std::llround(time * 1e6), static_cast<long long>(expected[n].timeUs));
            EXPECT_EQ(
                std::memcmp(module.spectrumData, expected[n].spectrum, sizeof module.spectrumData),
                0);
            EXPECT_EQ(
                std::memcmp(module.waveformData, expected[n].waveform, sizeof module.waveformData),
                0);
            ++n;
        }
        EXPECT_EQ(n, expected.size()) << "first frame " << first;
    }
}

// Calls every 1/60 s with a loud spectrum; seek() moves them.
class ScriptedCalls : public CallSource {
  public:
    bool next(winampVisModule& module, double& time) override {
        if (n_ >= 60 * 60) return false;
        std::memset(module.spectrumData, 200, sizeof module.spectrumData);
        std::memset(module.waveformData, 0x40, sizeof module.waveformData);
        time = n_++ / 60.0;
        return true;
    }
    void seek(double time) { n_ = static_cast<long long>(time * 60); }

  private:
    long long n_ = 0;
};

std::vector<std::uint32_t> rowsOf(const Bitmap& picture, int from, int to) {
    std::vector<std::uint32_t> out;
    for (int y = from; y < to; ++y)
        out.insert(out.end(), picture.row(y), picture.row(y) + picture.width());
    return out;
}

bool allOf(const std::vector<std::uint32_t>& pixels, std::uint32_t value) {
    return std::all_of(pixels.begin(), pixels.end(), [&](std::uint32_t p) { return p == value; });
}

TEST(ModuleRunner, BannerTimerFollowsTheTimeItIsGivenAcrossSeeks) {
    FreetypeTextRenderer text;
    ScriptedCalls calls;
    ModuleRunner runner({ModuleKind::History, true, 1.0f, 200, 100}, "Banner", calls, text);
    const int stripTop = 92; // inside the banner strip, the bottom 9 %
    const auto strip = [&] { return rowsOf(runner.picture(), stripTop, 100); };
    runner.advanceTo(3.99);
    ASSERT_TRUE(allOf(strip(), 0)) << "a banner before the first tick";
    runner.advanceTo(4.0);
    const auto first = strip();
    ASSERT_FALSE(allOf(first, 0)) << "no banner at the first tick";
    runner.advanceTo(7.99);
    EXPECT_EQ(strip(), first);
    // Back to 1 s: the next tick is at 4 s again, not at 8 s.
    calls.seek(1.0);
    runner.seek(1.0);
    runner.advanceTo(3.99);
    EXPECT_EQ(strip(), first) << "a tick before its time after the seek";
    runner.advanceTo(4.0);
    EXPECT_NE(strip(), first) << "no tick four seconds after the seek";
    // Only one tick however the time is given: a step back without seek() restarts it too.
    const auto second = strip();
    runner.advanceTo(2.0);
    runner.advanceTo(3.99);
    EXPECT_EQ(strip(), second);
}

TEST(ModuleRunner, ResizeKeepsWhatTheWindowKeepsAndPaintsTheRest) {
    FreetypeTextRenderer text;
    struct Case {
        ModuleKind module;
        int width, height;
        bool keepsOld;         // the old pixels inside the new size survive
        std::uint32_t newArea; // the colour uncovered pixels get
    };
    const std::uint32_t grey = pixelOf(kScopeGrey);
    const Case cases[] = {
        {ModuleKind::History, 260, 120, true, 0},  // wider: the old picture stays
        {ModuleKind::History, 150, 120, true, 0},  // narrower
        {ModuleKind::History, 260, 140, false, 0}, // taller: all repainted
        {ModuleKind::VuMeter, 300, 300, true, grey}, {ModuleKind::Scope, 100, 80, true, grey},
    };
    for (const Case& c : cases) {
        ScriptedCalls calls;
        ModuleRunner runner({c.module, true, 1.0f, 200, 120}, "Resize", calls, text);
        runner.advanceTo(2.0);
        const Bitmap before = runner.picture();
        runner.setClientSize(c.width, c.height);
        const Bitmap& after = runner.picture();
        ASSERT_EQ(after.width(), c.width);
        ASSERT_EQ(after.height(), c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const bool old = c.keepsOld && x < before.width() && y < before.height();
                ASSERT_EQ(after.row(y)[x], old ? before.row(y)[x] : c.newArea)
                    << static_cast<int>(c.module) << " at " << x << "," << y;
            }
        // And it draws at the new size: the history's columns reach the new right edge.
        runner.advanceTo(4.0);
        if (c.module == ModuleKind::History && c.width > 200) {
            bool drawn = false;
            for (int y = 0; y < c.height * 9 / 10; ++y)
                drawn = drawn || after.row(y)[c.width - 2] != 0;
            EXPECT_TRUE(drawn) << "nothing drawn beyond the old width";
        }
    }
}

TEST(ModuleRunner, LiveChangesOfModeBrightnessAndModule) {
    FreetypeTextRenderer text;
    ScriptedCalls calls;
    ModuleRunner runner({ModuleKind::History, true, 1.0f, 120, 80}, "Live", calls, text);
    runner.setBrightness(5.0f);
    EXPECT_EQ(runner.display().brightness, 2.0f);
    runner.setBrightness(0.0f);
    EXPECT_EQ(runner.display().brightness, 0.2f);
    runner.advanceTo(1.0);
    const Bitmap threeD = runner.picture();
    // The same calls in 2D from the start draw another picture.
    ScriptedCalls again;
    ModuleRunner flat({ModuleKind::History, true, 0.2f, 120, 80}, "Live", again, text);
    flat.setMode(false);
    flat.advanceTo(1.0);
    EXPECT_NE(flat.picture().packed(), threeD.packed());
    // Another module starts from its own first paint, at the same size.
    runner.setModule(ModuleKind::Scope);
    EXPECT_TRUE(allOf(runner.picture().packed(), pixelOf(kScopeGrey)));
    runner.advanceTo(1.5);
    EXPECT_FALSE(allOf(runner.picture().packed(), pixelOf(kScopeGrey)));
}

// A sound whose spectrum changes all the time: a sweeping tone on the left, a pulsing one on the
// right, both at times loud enough to reach the displays' caps and the scope's edges, so that
// every call draws something of its own.
float sweep(long long frame, int channel) {
    const double t = static_cast<double>(frame) / 44100;
    if (channel == 0)
        return static_cast<float>(0.9 * std::sin(2 * 3.14159265 * (200 + 90 * t) * t));
    return static_cast<float>((0.5 + 0.45 * std::sin(5 * t)) * std::sin(2 * 3.14159265 * 2500 * t));
}

// The calls of a source, from the sound's analysis or from its frames file.
struct CallsUnderTest {
    SignalSource sound{44100 * 80, sweep};
    std::unique_ptr<SampleBuffer> buffer;
    std::unique_ptr<CallSource> calls;
    CallsUnderTest(double rate, const std::string& framesFile) {
        if (framesFile.empty()) {
            buffer = std::make_unique<SampleBuffer>(sound);
            calls = std::make_unique<AnalysedCalls>(*buffer, rate, 0);
        } else {
            calls = std::make_unique<RecordedCalls>(framesFile, 0);
        }
    }
};

// A picture that fell behind makes only the calls it can still show, and shows what making every
// call would have shown: the same pixels (banner included) and the same state, so that the
// pictures stay equal afterwards.
TEST(ModuleRunner, CatchingUpMakesOnlyTheCallsThePictureShowsAndDrawsTheSame) {
    ScratchDir scratch;
    const std::string frames = scratch.file("sweep.frames");
    {
        SignalSource sound(44100 * 80, sweep);
        writeFramesFile(sound, 60, frames);
    }
    struct Case {
        const char* name;
        Display display;
        double rate;
        bool recorded;        // from the frames file (60 calls a second)
        double behind, ahead; // the picture keeps up until `behind`, then jumps to `ahead`
    };
    // clang-format off
    const Case cases[] = {
        {"history 3D across three banners", {ModuleKind::History, true, 1.0f, 200, 100}, 60, false, 1.03, 13.5},
        {"history 3D, odd size, mid-group", {ModuleKind::History, true, 1.3f, 97, 61}, 60, false, 0.51, 7.9},
        {"history 3D at an NTSC rate", {ModuleKind::History, true, 1.0f, 320, 180}, 29.97, false, 3.3, 61.7},
        {"history 2D", {ModuleKind::History, false, 1.0f, 200, 100}, 60, false, 2.0, 30.0},
        {"history 2D from a frames file", {ModuleKind::History, false, 1.0f, 150, 90}, 60, true, 1.5, 40.2},
        {"history 3D from a frames file", {ModuleKind::History, true, 1.0f, 150, 90}, 60, true, 0.2, 21.1},
        {"VU meter", {ModuleKind::VuMeter, true, 1.0f, 289, 257}, 60, false, 1.0, 20.0},
        {"VU meter from a frames file", {ModuleKind::VuMeter, true, 1.0f, 289, 257}, 60, true, 0.7, 33.3},
        {"oscilloscope", {ModuleKind::Scope, true, 1.0f, 289, 257}, 60, false, 0.5, 10.0},
        {"oscilloscope from a frames file", {ModuleKind::Scope, true, 1.0f, 289, 257}, 60, true, 0, 5.0},
    };
    // clang-format on
    FreetypeTextRenderer text;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallsUnderTest everyCall(c.rate, c.recorded ? frames : ""),
            behind(c.rate, c.recorded ? frames : "");
        ModuleRunner keptUp(c.display, "Catching up", *everyCall.calls, text);
        ModuleRunner fellBehind(c.display, "Catching up", *behind.calls, text);
        fellBehind.boundCatchUp(true);
        const double period = 1 / c.rate;
        const auto step = [&](ModuleRunner& runner, double from, double to) {
            for (double t = from; t < to; t += period / 2)
                runner.advanceTo(t);
            runner.advanceTo(to);
        };
        step(keptUp, 0, c.ahead);
        step(fellBehind, 0, c.behind);
        const std::int64_t before = fellBehind.callsMade();
        fellBehind.advanceTo(c.ahead);
        const std::int64_t made = fellBehind.callsMade() - before;
        EXPECT_LE(made, fellBehind.catchUpLimit());
        EXPECT_LT(made, keptUp.callsMade() - before) << "nothing was skipped";
        EXPECT_EQ(fellBehind.lastCallTime(), keptUp.lastCallTime());
        // The oscilloscope's bottom row, below its frame, keeps the ends of loud waves that no
        // call clears: it holds those of the calls made only.
        const int rows = c.display.module == ModuleKind::Scope ? 256 : c.display.height;
        const auto same = [&] {
            return rowsOf(fellBehind.picture(), 0, rows) == rowsOf(keptUp.picture(), 0, rows);
        };
        EXPECT_TRUE(same());
        // The state is the same too: the pictures stay equal as the calls go on.
        step(keptUp, c.ahead, c.ahead + 2.5);
        step(fellBehind, c.ahead, c.ahead + 2.5);
        EXPECT_TRUE(same()) << "afterwards";
    }
    // A render's runner is not bounded: a still at 20 s makes every call before it.
    CallsUnderTest calls(60, "");
    ModuleRunner render({ModuleKind::Scope, true, 1.0f, 289, 257}, "", *calls.calls, text);
    render.advanceTo(20.0);
    EXPECT_EQ(render.callsMade(), 20 * 60 + 1);
}

// The sweep for its first two seconds and from 9 s to 10 s; silence between and after.
float sweepWithSilences(long long frame, int channel) {
    const double t = static_cast<double>(frame) / 44100;
    return (t < 2 || (t >= 9 && t < 10)) ? sweep(frame, channel) : 0.0f;
}

// A live picture comes to rest once silence has rebuilt all of it, and then makes its calls of
// silence without drawing them; every picture is still the one making every call draws, and the
// first sound ends the rest.
TEST(ModuleRunner, APictureAtRestDrawsNothingUntilSoundAndStaysExact) {
    struct Case {
        const char* name;
        Display display;
    };
    const Case cases[] = {
        {"history 3D", {ModuleKind::History, true, 1.0f, 200, 100}},
        {"history 2D", {ModuleKind::History, false, 1.0f, 200, 100}},
        {"VU meter", {ModuleKind::VuMeter, true, 1.0f, 289, 257}},
        {"oscilloscope", {ModuleKind::Scope, true, 1.0f, 289, 257}},
    };
    FreetypeTextRenderer text;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SignalSource everySound(44100 * 17, sweepWithSilences),
            liveSound(44100 * 17, sweepWithSilences);
        SampleBuffer everyBuffer(everySound), liveBuffer(liveSound);
        AnalysedCalls everyCalls(everyBuffer, 60, 0), liveCalls(liveBuffer, 60, 0);
        ModuleRunner everyCall(c.display, "At rest", everyCalls, text);
        ModuleRunner live(c.display, "At rest", liveCalls, text);
        live.boundCatchUp(true);
        std::int64_t changesAtRest = 0; // while it rested before and after a step
        int restedSteps = 0;
        bool restedInFirstSilence = false, wokeForSound = false;
        for (double t = 0; t < 16; t += 1 / 120.0) {
            const bool resting = live.atRest();
            const std::int64_t changes = live.pictureChanges();
            everyCall.advanceTo(t);
            live.advanceTo(t);
            ASSERT_EQ(live.picture().packed(), everyCall.picture().packed()) << "at " << t << " s";
            if (resting && live.atRest()) {
                changesAtRest += live.pictureChanges() - changes;
                ++restedSteps;
            }
            if (t > 1 && t < 2) {
                ASSERT_FALSE(live.atRest()) << "at rest with sound, " << t << " s";
            }
            if (t > 8 && t < 9) restedInFirstSilence = restedInFirstSilence || live.atRest();
            if (t > 9.05 && t < 10) wokeForSound = wokeForSound || !live.atRest();
        }
        EXPECT_TRUE(restedInFirstSilence) << "never at rest in seven seconds of silence";
        EXPECT_TRUE(wokeForSound) << "the sound did not end the rest";
        EXPECT_EQ(live.atRest(), true) << "not at rest six seconds after the sound";
        EXPECT_GT(restedSteps, 120 * 3); // the VU meter's chart takes 4.8 s to fill
        // Only the banner's ticks (one every four seconds) draw while the history rests.
        EXPECT_LE(changesAtRest, c.display.module == ModuleKind::History ? 6 : 0);
    }
}

TEST(OutputClassification, OneDecisionForEveryName) {
    ScratchDir scratch;
    const std::filesystem::path folder = std::filesystem::path(scratch.file("x")).parent_path();
    std::filesystem::create_directories(folder / "x.png");
    std::filesystem::create_directories(folder / "film.mp4");
    const struct {
        std::string name;
        OutputKind kind;
        VideoContainer container;
    } cases[] = {
        {"-", OutputKind::Raw, VideoContainer::Mp4},
        {"null", OutputKind::Null, VideoContainer::Mp4},
        {"frames/", OutputKind::Sequence, VideoContainer::Mp4},
        {(folder / "x.png").string(), OutputKind::Sequence, VideoContainer::Mp4},
        {(folder / "film.mp4").string(), OutputKind::Sequence, VideoContainer::Mp4},
        {"still.PNG", OutputKind::Still, VideoContainer::Mp4},
        {"clip.mp4", OutputKind::Video, VideoContainer::Mp4},
        {"clip.MKV", OutputKind::Video, VideoContainer::Matroska},
        {"clip.webm", OutputKind::Video, VideoContainer::WebM},
    };
    for (const auto& c : cases) {
        const OutputTarget target = classifyOutput(c.name);
        EXPECT_EQ(target.kind, c.kind) << c.name;
        if (c.kind == OutputKind::Video) {
            EXPECT_EQ(target.container, c.container) << c.name;
        }
    }
    for (const char* unknown : {"clip", "clip.gif", ".png", "notes.txt"})
        EXPECT_THROW(classifyOutput(unknown), OutputError) << unknown;
}

} // namespace
} // namespace lumacore::cli::test
