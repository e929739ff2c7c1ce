// PipeWire's graph read as `listen` reads it, without a server: the names the user gives and
// sees (a sink's monitor as "SINK.monitor"), what each target records, and the links that bring
// a node's channels into the capture's two inputs; and where PipeWire's socket is looked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "listen/pipewire_capture.h"
#include "listen/pipewire_graph.h"

namespace lumacore::cli {
namespace {

constexpr std::uint32_t kCapture = 90;

// Two sinks ("speakers" the default), a microphone (mono), a stereo stream of "mpv" playing into
// the speakers, a mono one of "bell", and the capture's own two inputs.
Graph desktop() {
    Graph graph;
    graph.nodes = {{10, {"speakers", "Built-in Audio", "Audio/Sink", {}}},
                   {11, {"headset", "", "Audio/Sink", {}}},
                   {12, {"mic", "Microphone", "Audio/Source", {}}},
                   {20, {"mpv", "", "Stream/Output/Audio", {"mpv", "mpv", 200}}},
                   {21, {"bell", "", "Stream/Output/Audio", {"bell", "canberra", 300}}},
                   {kCapture, {"lumacore", "", "Stream/Input/Audio", {}}}};
    graph.ports = {{30, {10, false, false, "FL"}},      {31, {10, true, true, "FL"}},
                   {32, {10, true, true, "FR"}},        {33, {11, true, true, "FL"}},
                   {34, {11, true, true, "FR"}},        {35, {12, true, false, "MONO"}},
                   {36, {20, true, false, "FL"}},       {37, {20, true, false, "FR"}},
                   {38, {21, true, false, "MONO"}},     {91, {kCapture, false, false, "FL"}},
                   {92, {kCapture, false, false, "FR"}}};
    graph.links = {{50, {20, 36, 10, 30}}, {51, {20, 37, kCapture, 92}}};
    graph.defaultSink = "speakers";
    return graph;
}

TEST(PipeWireGraph, SourcesAndStreamsAreListedAsThePulseAudioApiNamesThem) {
    const Graph graph = desktop();
    const SoundSources sources = sourceList(graph);
    ASSERT_EQ(sources.sources.size(), 3u);
    EXPECT_EQ(sources.sources[0].name, "speakers.monitor");
    EXPECT_EQ(sources.sources[0].description, "Monitor of Built-in Audio");
    EXPECT_EQ(sources.sources[1].description, "Monitor of headset"); // no description: its name
    EXPECT_EQ(sources.sources[2].name, "mic");
    EXPECT_EQ(sources.defaultSinkMonitor, "speakers.monitor");

    // A stream's sink is the sink it is linked into, not the capture recording it too.
    const std::vector<PlayingStream> streams = playingStreams(graph);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].index, 20u);
    EXPECT_EQ(streams[0].owner.binary, "mpv");
    EXPECT_EQ(streams[0].sink, "speakers");
    EXPECT_EQ(streams[1].sink, "");
}

TEST(PipeWireGraph, EachTargetRecordsItsNodesChannelByChannel) {
    struct Case {
        const char* name;
        CaptureTarget target;
        std::string defaultSink;
        std::vector<PortPair> links;
        std::string description;
    };
    const auto app = [](const std::string& text) {
        return CaptureTarget{"", AppChoice::parse(text)};
    };
    // clang-format off
    const Case cases[] = {
        {"the default sink's monitor ports", {}, "speakers", {{31, 91}, {32, 92}},
         "Monitor of Built-in Audio"},
        {"the default followed", {}, "headset", {{33, 91}, {34, 92}}, "Monitor of headset"},
        {"no default sink", {}, "", {}, "no default sink"},
        {"a sink's monitor by its PulseAudio name", {"headset.monitor", {}}, "speakers",
         {{33, 91}, {34, 92}}, "Monitor of headset"},
        {"a sink by its own name is its monitor", {"headset", {}}, "speakers",
         {{33, 91}, {34, 92}}, "Monitor of headset"},
        {"a mono source into both inputs", {"mic", {}}, "speakers", {{35, 91}, {35, 92}},
         "Microphone"},
        {"an unknown name", {"nowhere.monitor", {}}, "speakers", {}, "nowhere.monitor"},
        {"an application's stream by its binary", app("MPV"), "speakers", {{36, 91}, {37, 92}},
         "mpv"},
        {"an application's mono stream by its process", app("300"), "speakers",
         {{38, 91}, {38, 92}}, "bell"},
        {"an application that plays nothing", app("vlc"), "speakers", {}, "'vlc'"},
    };
    // clang-format on
    const auto noParents = [](int) { return 0; };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Graph graph = desktop();
        graph.defaultSink = c.defaultSink;
        const Recorded recorded = recordedFor(graph, c.target, noParents);
        EXPECT_EQ(linksFor(graph, recorded.feeds, kCapture), c.links);
        EXPECT_EQ(recorded.description, c.description);
    }
}

TEST(PipeWireGraph, NothingIsLinkedBeforeTheCapturesInputsAreThere) {
    Graph graph = desktop();
    graph.ports.erase(92);
    EXPECT_TRUE(linksFor(graph, recordedFor(graph, {}).feeds, kCapture).empty());
}

// The variables libpipewire reads, set for one case and put back after it.
class PipeWireEnvironment {
  public:
    PipeWireEnvironment(const char* remote, const char* runtime, const char* xdg) {
        set("PIPEWIRE_REMOTE", remote);
        set("PIPEWIRE_RUNTIME_DIR", runtime);
        set("XDG_RUNTIME_DIR", xdg);
    }
    ~PipeWireEnvironment() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    PipeWireEnvironment(const PipeWireEnvironment&) = delete;
    PipeWireEnvironment& operator=(const PipeWireEnvironment&) = delete;

  private:
    void set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(PipeWireSocket, IsLookedForWhereLibpipewireLooks) {
    struct Case {
        const char* name;
        const char *remote, *runtime, *xdg;
        std::string socket;
    };
    // clang-format off
    const Case cases[] = {
        {"the user's runtime folder", nullptr, nullptr, "/run/user/1000", "/run/user/1000/pipewire-0"},
        {"PipeWire's own runtime folder first", nullptr, "/run/pw", "/run/user/1000", "/run/pw/pipewire-0"},
        {"another name in it", "pipewire-1", nullptr, "/run/user/1000", "/run/user/1000/pipewire-1"},
        {"a path as it is", "/tmp/pw.socket", nullptr, "/run/user/1000", "/tmp/pw.socket"},
        {"no runtime folder", nullptr, nullptr, nullptr, ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PipeWireEnvironment environment(c.remote, c.runtime, c.xdg);
        EXPECT_EQ(pipeWireSocket(), c.socket);
    }
}

} // namespace
} // namespace lumacore::cli
