// The links we made in PipeWire's graph, kept equal to the set wanted: a link no longer wanted is
// destroyed, a wanted one made through the link factory; one the server refused or removed is
// made again at the next change. Our links go with our connection.
//
// Under the thread loop's lock, like everything that touches the connection.
#pragma once

#include <pipewire/pipewire.h>

#include <map>
#include <memory>
#include <vector>

#include "listen/pipewire_graph.h"

namespace lumacore::cli {

class PipeWireLinks {
  public:
    PipeWireLinks(pw_core* core, std::uint32_t inputNode) : core_(core), inputNode_(inputNode) {}

    // Makes and destroys links until exactly `wanted` (output port, input port) exist; the ports'
    // nodes are looked up in `graph`.
    void keep(const Graph& graph, const std::vector<PortPair>& wanted);

  private:
    struct Made {
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
        bool dead = false; // refused or removed by the server
        ~Made();
    };

    pw_core* core_;
    std::uint32_t inputNode_;
    std::map<PortPair, std::unique_ptr<Made>> made_;
};

} // namespace lumacore::cli
