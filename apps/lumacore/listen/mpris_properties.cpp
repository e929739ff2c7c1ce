// The dictionaries are walked entry by entry: a variant's contents are read only when they have
// the type expected, so that one odd entry from a player does not lose the rest.
#include "listen/mpris_properties.h"

#include <cstring>
#include <string_view>

namespace lumacore::cli {
namespace {

// Enters the variant at the message's current place when it holds `type`, else passes over it.
// Negative on a malformed message, 0 when passed over, positive when entered.
int enterVariantOf(sd_bus_message* message, const char* type) {
    char kind = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(message, &kind, &contents);
    if (r <= 0 || kind != SD_BUS_TYPE_VARIANT) return -1;
    if (!contents || std::strcmp(contents, type) != 0) {
        r = sd_bus_message_skip(message, "v");
        return r < 0 ? r : 0;
    }
    return sd_bus_message_enter_container(message, SD_BUS_TYPE_VARIANT, type);
}

// A string in a variant of type `type` ("s"), or as the strings of an array ("as") joined with
// ", ". False on a malformed message; `text` stays as it was when the variant has another type.
bool readText(sd_bus_message* message, const char* type, std::string& text) {
    const int entered = enterVariantOf(message, type);
    if (entered <= 0) return entered == 0;
    if (std::strcmp(type, "s") == 0) {
        const char* value = nullptr;
        if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &value) <= 0) return false;
        text = value;
    } else {
        if (sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "s") <= 0) return false;
        std::string joined;
        const char* value = nullptr;
        int r = 0;
        while ((r = sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &value)) > 0)
            joined += (joined.empty() ? "" : ", ") + std::string(value);
        if (r < 0 || sd_bus_message_exit_container(message) < 0) return false;
        text = joined;
    }
    return sd_bus_message_exit_container(message) >= 0;
}

// Walks a dictionary a{sv}, calling `entry(key)` with the message at each entry's variant; the
// callee reads or passes over the variant.
template <typename Entry> bool readDictionary(sd_bus_message* message, Entry entry) {
    if (sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "{sv}") <= 0) return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv")) > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &key) <= 0) return false;
        if (!entry(std::string_view(key))) return false;
        if (sd_bus_message_exit_container(message) < 0) return false;
    }
    return r == 0 && sd_bus_message_exit_container(message) >= 0;
}

bool readMetadata(sd_bus_message* message, PlayerState& state) {
    // The metadata is the whole track: what it leaves out is not known any more.
    state.artist.clear();
    state.title.clear();
    return readDictionary(message, [&](std::string_view key) {
        if (key == "xesam:title") return readText(message, "s", state.title);
        if (key == "xesam:artist") {
            // Some players give one string where an array is meant.
            char kind = 0;
            const char* contents = nullptr;
            if (sd_bus_message_peek_type(message, &kind, &contents) <= 0) return false;
            return readText(message, contents && std::strcmp(contents, "s") == 0 ? "s" : "as",
                            state.artist);
        }
        return sd_bus_message_skip(message, "v") >= 0;
    });
}

} // namespace

bool readPlayerProperties(sd_bus_message* message, PlayerState& state) {
    return readDictionary(message, [&](std::string_view key) {
        if (key == "PlaybackStatus") return readText(message, "s", state.status);
        if (key == "Metadata") {
            const int entered = enterVariantOf(message, "a{sv}");
            if (entered <= 0) return entered == 0;
            return readMetadata(message, state) && sd_bus_message_exit_container(message) >= 0;
        }
        return sd_bus_message_skip(message, "v") >= 0;
    });
}

std::string displayTitle(const PlayerState& state) {
    if (state.title.empty()) return {};
    return state.artist.empty() ? state.title : state.artist + " - " + state.title;
}

} // namespace lumacore::cli
