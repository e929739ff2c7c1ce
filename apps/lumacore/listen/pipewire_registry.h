// Keeps a Graph up to date from PipeWire's registry: nodes (each bound, for all its properties:
// the registry announces only a few), ports, links, and the default sink from the "default"
// metadata. Every change is told to `changed`.
//
// Everything here runs under the thread loop's lock: the events on PipeWire's thread, the rest
// on the caller's.
#pragma once

#include <pipewire/pipewire.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "listen/pipewire_graph.h"

namespace lumacore::cli {

class PipeWireRegistry {
  public:
    PipeWireRegistry(pw_core* core, std::function<void()> changed);
    ~PipeWireRegistry();
    PipeWireRegistry(const PipeWireRegistry&) = delete;
    PipeWireRegistry& operator=(const PipeWireRegistry&) = delete;

    const Graph& graph() const { return graph_; }

  private:
    // A proxy bound to one object, its listener removed and the proxy destroyed with it.
    struct Bound {
        PipeWireRegistry* home = nullptr;
        std::uint32_t id = 0;
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
        ~Bound();
    };

    void added(std::uint32_t id, const char* type, const spa_dict* props);
    void removed(std::uint32_t id);
    void nodeInfo(std::uint32_t id, const spa_dict* props);
    void metadataProperty(std::uint32_t subject, const char* key, const char* value);

    pw_registry* registry_;
    spa_hook listener_{};
    std::function<void()> changed_;
    Graph graph_;
    std::map<std::uint32_t, std::unique_ptr<Bound>> bound_; // nodes and the default metadata
};

} // namespace lumacore::cli
