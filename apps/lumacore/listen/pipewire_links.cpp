#include "listen/pipewire_links.h"

#include <algorithm>
#include <string>

namespace lumacore::cli {

PipeWireLinks::Made::~Made() {
    spa_hook_remove(&listener);
    pw_proxy_destroy(proxy);
}

void PipeWireLinks::keep(const Graph& graph, const std::vector<PortPair>& wanted) {
    std::erase_if(made_, [&](const auto& entry) {
        return entry.second->dead ||
               std::find(wanted.begin(), wanted.end(), entry.first) == wanted.end();
    });
    for (const PortPair& ports : wanted) {
        if (made_.contains(ports)) continue;
        const auto from = graph.ports.find(ports.first);
        if (from == graph.ports.end()) continue;
        pw_properties* props = pw_properties_new(PW_KEY_OBJECT_LINGER, "false", nullptr);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_NODE, "%u", from->second.node);
        pw_properties_setf(props, PW_KEY_LINK_OUTPUT_PORT, "%u", ports.first);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_NODE, "%u", inputNode_);
        pw_properties_setf(props, PW_KEY_LINK_INPUT_PORT, "%u", ports.second);
        auto made = std::make_unique<Made>();
        made->proxy = static_cast<pw_proxy*>(pw_core_create_object(
            core_, "link-factory", PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, &props->dict, 0));
        pw_properties_free(props);
        if (made->proxy == nullptr) continue;
        static const pw_proxy_events events = {
            .version = PW_VERSION_PROXY_EVENTS,
            .destroy = nullptr,
            .bound = nullptr,
            .removed = [](void* data) { static_cast<Made*>(data)->dead = true; },
            .done = nullptr,
            .error = [](void* data, int, int,
                        const char*) { static_cast<Made*>(data)->dead = true; },
        };
        pw_proxy_add_listener(made->proxy, &made->listener, &events, made.get());
        made_[ports] = std::move(made);
    }
}

} // namespace lumacore::cli
