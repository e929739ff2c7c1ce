// The registry's events into the Graph.
#include "listen/pipewire_registry.h"

#include <pipewire/extensions/metadata.h>
#include <spa/utils/json.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace lumacore::cli {
namespace {

std::string property(const spa_dict* props, const char* key) {
    const char* value = props != nullptr ? spa_dict_lookup(props, key) : nullptr;
    return value != nullptr ? value : "";
}

std::uint32_t idProperty(const spa_dict* props, const char* key) {
    return static_cast<std::uint32_t>(std::strtoul(property(props, key).c_str(), nullptr, 10));
}

// The "name" of a JSON object such as {"name":"alsa_output.pci"}; empty without one.
std::string jsonName(const char* value) {
    if (value == nullptr) return "";
    spa_json iter, object;
    spa_json_init(&iter, value, std::strlen(value));
    if (spa_json_enter_object(&iter, &object) <= 0) return "";
    char key[64];
    char text[1024];
    while (spa_json_get_string(&object, key, sizeof key) > 0) {
        if (std::strcmp(key, "name") == 0)
            return spa_json_get_string(&object, text, sizeof text) > 0 ? text : "";
        const char* skipped = nullptr;
        if (spa_json_next(&object, &skipped) <= 0) break;
    }
    return "";
}

} // namespace

PipeWireRegistry::Bound::~Bound() {
    spa_hook_remove(&listener);
    pw_proxy_destroy(proxy);
}

PipeWireRegistry::PipeWireRegistry(pw_core* core, std::function<void()> changed)
    : registry_(pw_core_get_registry(core, PW_VERSION_REGISTRY, 0)), changed_(std::move(changed)) {
    static const pw_registry_events events = {
        .version = PW_VERSION_REGISTRY_EVENTS,
        .global =
            [](void* self, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
               const spa_dict* props) {
                static_cast<PipeWireRegistry*>(self)->added(id, type, props);
            },
        .global_remove =
            [](void* self, std::uint32_t id) { static_cast<PipeWireRegistry*>(self)->removed(id); },
    };
    pw_registry_add_listener(registry_, &listener_, &events, this);
}

PipeWireRegistry::~PipeWireRegistry() {
    bound_.clear();
    spa_hook_remove(&listener_);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
}

void PipeWireRegistry::added(std::uint32_t id, const char* type, const spa_dict* props) {
    if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
        graph_.ports[id] = {
            idProperty(props, PW_KEY_NODE_ID), property(props, PW_KEY_PORT_DIRECTION) == "out",
            property(props, PW_KEY_PORT_MONITOR) == "true", property(props, PW_KEY_AUDIO_CHANNEL)};
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
        graph_.links[id] = {
            idProperty(props, PW_KEY_LINK_OUTPUT_NODE), idProperty(props, PW_KEY_LINK_OUTPUT_PORT),
            idProperty(props, PW_KEY_LINK_INPUT_NODE), idProperty(props, PW_KEY_LINK_INPUT_PORT)};
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        nodeInfo(id, props); // what the registry says, until the node's own answer
        auto bound = std::make_unique<Bound>();
        bound->home = this;
        bound->id = id;
        bound->proxy = static_cast<pw_proxy*>(
            pw_registry_bind(registry_, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        if (bound->proxy == nullptr) return;
        static const pw_node_events events = {
            .version = PW_VERSION_NODE_EVENTS,
            .info =
                [](void* data, const pw_node_info* info) {
                    const Bound& node = *static_cast<Bound*>(data);
                    if ((info->change_mask & PW_NODE_CHANGE_MASK_PROPS) != 0)
                        node.home->nodeInfo(node.id, info->props);
                },
            .param = nullptr,
        };
        pw_node_add_listener(reinterpret_cast<pw_node*>(bound->proxy), &bound->listener, &events,
                             bound.get());
        bound_[id] = std::move(bound);
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0 &&
               property(props, PW_KEY_METADATA_NAME) == "default") {
        auto bound = std::make_unique<Bound>();
        bound->home = this;
        bound->id = id;
        bound->proxy = static_cast<pw_proxy*>(
            pw_registry_bind(registry_, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
        if (bound->proxy == nullptr) return;
        static const pw_metadata_events events = {
            .version = PW_VERSION_METADATA_EVENTS,
            .property =
                [](void* data, std::uint32_t subject, const char* key, const char*,
                   const char* value) {
                    static_cast<Bound*>(data)->home->metadataProperty(subject, key, value);
                    return 0;
                },
        };
        pw_metadata_add_listener(reinterpret_cast<pw_metadata*>(bound->proxy), &bound->listener,
                                 &events, bound.get());
        bound_[id] = std::move(bound);
        return; // changed once it tells its properties
    } else {
        return;
    }
    changed_();
}

void PipeWireRegistry::removed(std::uint32_t id) {
    const bool known =
        graph_.nodes.erase(id) + graph_.ports.erase(id) + graph_.links.erase(id) + bound_.erase(id);
    if (known) changed_();
}

void PipeWireRegistry::nodeInfo(std::uint32_t id, const spa_dict* props) {
    GraphNode node;
    node.name = property(props, PW_KEY_NODE_NAME);
    node.description = property(props, PW_KEY_NODE_DESCRIPTION);
    node.mediaClass = property(props, PW_KEY_MEDIA_CLASS);
    node.owner.name = property(props, PW_KEY_APP_NAME);
    node.owner.binary = property(props, PW_KEY_APP_PROCESS_BINARY);
    node.owner.pid = std::atoi(property(props, PW_KEY_APP_PROCESS_ID).c_str());
    graph_.nodes[id] = std::move(node);
    changed_();
}

void PipeWireRegistry::metadataProperty(std::uint32_t subject, const char* key, const char* value) {
    if (subject != PW_ID_CORE) return;
    if (key == nullptr) { // every property cleared
        graph_.defaultSink.clear();
    } else if (std::strcmp(key, "default.audio.sink") == 0) {
        graph_.defaultSink = jsonName(value);
    } else {
        return;
    }
    changed_();
}

} // namespace lumacore::cli
