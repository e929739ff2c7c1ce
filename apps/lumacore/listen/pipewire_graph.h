// PipeWire's graph as the registry describes it (nodes, their ports, the links between them, and
// the default sink), and what `listen` makes of it: the sources and streams it lists, in the
// names and shapes the PulseAudio API gives them, and the links that bring a target's sound into
// the capture stream's own ports. Plain data: the registry fills it (pipewire_registry.h), the
// rules here only read it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "listen/app_match.h"
#include "listen/sound_capture.h"

namespace lumacore::cli {

struct GraphNode {
    std::string name;        // node.name
    std::string description; // node.description
    std::string mediaClass;  // "Audio/Sink", "Audio/Source", "Stream/Output/Audio", ...
    StreamOwner owner;       // application.*, for streams
};

struct GraphPort {
    std::uint32_t node = 0;
    bool output = false;
    bool monitor = false; // a sink's copy of what it plays
    std::string channel;  // audio.channel: "FL", "FR", "MONO", ...
};

struct GraphLink {
    std::uint32_t outputNode = 0, outputPort = 0, inputNode = 0, inputPort = 0;
};

struct Graph {
    std::map<std::uint32_t, GraphNode> nodes;
    std::map<std::uint32_t, GraphPort> ports;
    std::map<std::uint32_t, GraphLink> links;
    std::string defaultSink; // its node.name, from the "default" metadata
};

bool isSink(const GraphNode& node);
bool isSource(const GraphNode& node);
bool isPlayingStream(const GraphNode& node);

// Every sink's monitor ("NAME.monitor", "Monitor of DESCRIPTION") and every source, in the order
// the graph made them, with the default sink's monitor.
SoundSources sourceList(const Graph& graph);
// Every stream that plays, with the sink it plays into ("" while it is linked to none).
std::vector<PlayingStream> playingStreams(const Graph& graph);

// A node whose sound is recorded: its monitor ports for a sink, else its outputs.
struct Feed {
    std::uint32_t node = 0;
    bool monitor = false;
};

// The node `name` names: "SINK.monitor" (as the PulseAudio API calls a sink's monitor), or any
// node's own name (a sink by its own name is its monitor too). nullopt when there is none.
std::optional<Feed> feedNamed(const Graph& graph, const std::string& name);

// What a target records now: the default sink's monitor, a named source or one application's
// streams; with the description the user reads ("Monitor of Built-in Audio", the application's
// name). No feeds: nothing to record now (no default sink, the application plays nothing).
struct Recorded {
    std::vector<Feed> feeds;
    std::string description;
};
Recorded recordedFor(const Graph& graph, const CaptureTarget& target,
                     const ParentOf& parentOf = parentInProc);

// The links, (output port, input port), that bring `feeds` into the input ports of node
// `capture`: left channels into its left port, right into its right, any other (mono, centre)
// into both.
using PortPair = std::pair<std::uint32_t, std::uint32_t>;
std::vector<PortPair> linksFor(const Graph& graph, const std::vector<Feed>& feeds,
                               std::uint32_t capture);

} // namespace lumacore::cli
