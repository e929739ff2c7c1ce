// The registry's picture of the graph read as the PulseAudio API would show it.
#include "listen/pipewire_graph.h"

#include <algorithm>

namespace lumacore::cli {
namespace {

constexpr const char* kMonitorSuffix = ".monitor";

// Which of a stereo input a channel goes into: 'L' or 'R' as its name ends, else both.
char sideOf(const std::string& channel) {
    if (channel.size() >= 2 && (channel.back() == 'L' || channel.back() == 'R'))
        return channel.back();
    return 0;
}

} // namespace

bool isSink(const GraphNode& node) {
    return node.mediaClass == "Audio/Sink" || node.mediaClass == "Audio/Duplex";
}

bool isSource(const GraphNode& node) {
    return node.mediaClass.starts_with("Audio/Source") || node.mediaClass == "Audio/Duplex";
}

bool isPlayingStream(const GraphNode& node) {
    return node.mediaClass == "Stream/Output/Audio";
}

SoundSources sourceList(const Graph& graph) {
    SoundSources list;
    for (const auto& [id, node] : graph.nodes) {
        const std::string described = node.description.empty() ? node.name : node.description;
        if (isSink(node))
            list.sources.push_back({node.name + kMonitorSuffix, "Monitor of " + described});
        if (isSource(node)) list.sources.push_back({node.name, described});
        if (isSink(node) && node.name == graph.defaultSink)
            list.defaultSinkMonitor = node.name + kMonitorSuffix;
    }
    return list;
}

std::vector<PlayingStream> playingStreams(const Graph& graph) {
    std::vector<PlayingStream> streams;
    for (const auto& [id, node] : graph.nodes) {
        if (!isPlayingStream(node)) continue;
        std::string sink;
        for (const auto& [linkId, link] : graph.links) {
            const auto into = graph.nodes.find(link.inputNode);
            if (link.outputNode == id && into != graph.nodes.end() && isSink(into->second))
                sink = into->second.name;
        }
        streams.push_back({id, node.owner, sink});
    }
    return streams;
}

std::optional<Feed> feedNamed(const Graph& graph, const std::string& name) {
    for (const auto& [id, node] : graph.nodes)
        if (isSink(node) && node.name + kMonitorSuffix == name) return Feed{id, true};
    for (const auto& [id, node] : graph.nodes)
        if (node.name == name) return Feed{id, isSink(node)};
    return std::nullopt;
}

Recorded recordedFor(const Graph& graph, const CaptureTarget& target, const ParentOf& parentOf) {
    Recorded recorded;
    if (target.app) {
        for (const auto& [id, node] : graph.nodes) {
            if (!isPlayingStream(node) || !belongsTo(node.owner, *target.app, parentOf)) continue;
            recorded.feeds.push_back({id, false});
            if (recorded.description.empty())
                recorded.description =
                    !node.owner.name.empty() ? node.owner.name : node.owner.binary;
        }
        if (recorded.description.empty()) recorded.description = target.app->describe();
        return recorded;
    }
    if (target.source.empty() && graph.defaultSink.empty()) {
        recorded.description = "no default sink";
        return recorded;
    }
    const std::string name =
        target.source.empty() ? graph.defaultSink + kMonitorSuffix : target.source;
    const std::optional<Feed> feed = feedNamed(graph, name);
    if (!feed) {
        recorded.description = name;
        return recorded;
    }
    recorded.feeds.push_back(*feed);
    const GraphNode& node = graph.nodes.at(feed->node);
    const std::string described = node.description.empty() ? node.name : node.description;
    recorded.description = feed->monitor ? "Monitor of " + described : described;
    return recorded;
}

std::vector<PortPair> linksFor(const Graph& graph, const std::vector<Feed>& feeds,
                               std::uint32_t capture) {
    std::uint32_t left = 0, right = 0; // the capture's inputs (0: not there yet)
    for (const auto& [id, port] : graph.ports) {
        if (port.node != capture || port.output) continue;
        if (sideOf(port.channel) == 'L') left = id;
        if (sideOf(port.channel) == 'R') right = id;
    }
    std::vector<PortPair> links;
    if (left == 0 || right == 0) return links;
    for (const Feed& feed : feeds) {
        for (const auto& [id, port] : graph.ports) {
            if (port.node != feed.node || !port.output || port.monitor != feed.monitor) continue;
            const char side = sideOf(port.channel);
            if (side != 'R') links.emplace_back(id, left);
            if (side != 'L') links.emplace_back(id, right);
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

} // namespace lumacore::cli
