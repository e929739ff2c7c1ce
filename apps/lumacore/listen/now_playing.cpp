// The bus is asked for everything without waiting (asynchronous calls, matches installed in the
// background) and everything comes back through the callbacks below, run by sd_bus_process in
// update(). Players are known by their well-known names; their signals come from their owners'
// unique names, learnt from NameOwnerChanged or the sender of their GetAll reply.
#include "listen/now_playing.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace lumacore::cli {
namespace {

constexpr std::string_view kPlayerPrefix = "org.mpris.MediaPlayer2.";
constexpr const char* kPlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

constexpr const char* kOwnerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0namespace='org.mpris.MediaPlayer2'";
constexpr const char* kPropertiesMatch =
    "type='signal',path='/org/mpris/MediaPlayer2',interface='org.freedesktop.DBus.Properties',"
    "member='PropertiesChanged',arg0='org.mpris.MediaPlayer2.Player'";

// Messages handled in one update at most, so that a flood from the bus cannot hold up a frame;
// the rest wait for the next.
constexpr int kMessagesPerUpdate = 4096;

bool isPlayerName(std::string_view name) {
    return name.size() > kPlayerPrefix.size() && name.starts_with(kPlayerPrefix);
}

// A match installed in the background; empty when it cannot even be asked for.
SdBusSlot addMatch(sd_bus* bus, const char* match, sd_bus_message_handler_t handler, void* data) {
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match_async(bus, &slot, match, handler, nullptr, data) < 0) return nullptr;
    return SdBusSlot(slot);
}

// Whether the array of strings at the message's current place holds `property` or `other`.
bool namesEither(sd_bus_message* message, std::string_view property, std::string_view other) {
    if (sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "s") <= 0) return false;
    const char* name = nullptr;
    bool found = false;
    while (sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &name) > 0)
        found = found || name == property || name == other;
    return found;
}

} // namespace

NowPlaying::NowPlaying() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return;
    bus_.reset(bus);
    // The matches come first, so that no player that appears after the list is missed.
    ownerMatch_ = addMatch(bus, kOwnerMatch, onOwnerChanged, this);
    propertiesMatch_ = addMatch(bus, kPropertiesMatch, onPropertiesChanged, this);
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(bus, &slot, kBusName, kBusPath, kBusName, "ListNames", onNames,
                                 this, "") >= 0)
        namesCall_.reset(slot);
    if (!ownerMatch_ || !propertiesMatch_ || !namesCall_) close();
}

NowPlaying::~NowPlaying() {
    close();
}

void NowPlaying::update() {
    if (!bus_) return;
    for (int i = 0; i < kMessagesPerUpdate; ++i) {
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) {
            close();
            return;
        }
        if (r == 0) break;
    }
    if (sd_bus_is_open(bus_.get()) <= 0) close();
}

const NowPlaying::Player* NowPlaying::best() const {
    // Playing before paused, then the most recent start; stopped players, and those not heard
    // from yet, do not count.
    const auto rank = [](const Player& player) {
        const std::string& status = player.state.status;
        return std::pair(status == "Playing" ? 2 : status == "Paused", player.startedPlaying);
    };
    const Player* best = nullptr;
    for (const auto& [name, player] : players_)
        if (rank(*player).first > 0 && (!best || rank(*player) > rank(*best))) best = player.get();
    return best;
}

std::string NowPlaying::title() const {
    const Player* shownPlayer = best();
    return shownPlayer ? displayTitle(shownPlayer->state) : std::string();
}

NowPlaying::PlayerView NowPlaying::viewOf(const Player& player) {
    return {player.name, player.pid, player.state.status, displayTitle(player.state)};
}

std::optional<NowPlaying::PlayerView> NowPlaying::shown() const {
    const Player* shownPlayer = best();
    if (!shownPlayer) return std::nullopt;
    return viewOf(*shownPlayer);
}

std::vector<NowPlaying::PlayerView> NowPlaying::players() const {
    std::vector<PlayerView> all;
    for (const auto& [name, player] : players_)
        all.push_back(viewOf(*player));
    return all;
}

bool NowPlaying::settled() const {
    if (!ready()) return !active();
    for (const auto& [name, player] : players_)
        if (player->pending || player->pidCall) return false;
    return true;
}

int NowPlaying::onNames(sd_bus_message* reply, void* self, sd_bus_error*) {
    auto& me = *static_cast<NowPlaying*>(self);
    // Without the list, the players that were there stay unknown; waiting would not help.
    me.namesKnown_ = true;
    if (sd_bus_message_is_method_error(reply, nullptr)) return 0;
    if (sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "s") <= 0) return 0;
    const char* name = nullptr;
    while (sd_bus_message_read_basic(reply, SD_BUS_TYPE_STRING, &name) > 0)
        if (isPlayerName(name) && !me.players_.contains(name)) me.addPlayer(name, "");
    return 0;
}

int NowPlaying::onOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto& me = *static_cast<NowPlaying*>(self);
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    if (!isPlayerName(name)) return 0;
    if (*newOwner == '\0')
        me.players_.erase(name);
    else
        me.addPlayer(name, newOwner);
    return 0;
}

int NowPlaying::onPropertiesChanged(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto& me = *static_cast<NowPlaying*>(self);
    const char* sender = sd_bus_message_get_sender(signal);
    if (!sender) return 0;
    // One program may own several names; each of its players reads the signal afresh.
    std::vector<Player*> owned;
    for (auto& [name, player] : me.players_)
        if (player->owner == sender) owned.push_back(player.get());
    for (Player* player : owned) {
        const char* interface = nullptr;
        if (sd_bus_message_rewind(signal, 1) < 0 ||
            sd_bus_message_read_basic(signal, SD_BUS_TYPE_STRING, &interface) <= 0 ||
            std::strcmp(interface, kPlayerInterface) != 0)
            return 0;
        PlayerState state = player->state;
        if (!readPlayerProperties(signal, state)) continue;
        me.apply(*player, state);
        // Properties said to have changed without their values are asked for again.
        if (namesEither(signal, "PlaybackStatus", "Metadata")) me.askProperties(*player);
    }
    return 0;
}

int NowPlaying::onProcess(sd_bus_message* reply, void* player, sd_bus_error*) {
    auto& asked = *static_cast<Player*>(player);
    std::uint32_t pid = 0;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read_basic(reply, SD_BUS_TYPE_UINT32, &pid) > 0)
        asked.pid = static_cast<int>(pid);
    asked.pidCall.reset();
    return 0;
}

int NowPlaying::onProperties(sd_bus_message* reply, void* player, sd_bus_error*) {
    auto& asked = *static_cast<Player*>(player);
    asked.pending.reset();
    if (sd_bus_message_is_method_error(reply, nullptr)) return 0;
    if (const char* sender = sd_bus_message_get_sender(reply)) asked.owner = sender;
    PlayerState state = asked.state;
    if (readPlayerProperties(reply, state)) asked.home->apply(asked, state);
    return 0;
}

void NowPlaying::addPlayer(const std::string& name, const std::string& owner) {
    // A new owner is another player: what the old one said no longer holds.
    auto& player = players_[name];
    player = std::make_unique<Player>();
    player->home = this;
    player->name = name;
    player->owner = owner;
    askProperties(*player);
    // Its process: whose streams are the player's sound.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(bus_.get(), &slot, kBusName, kBusPath, kBusName,
                                 "GetConnectionUnixProcessID", onProcess, player.get(), "s",
                                 name.c_str()) >= 0)
        player->pidCall.reset(slot);
}

void NowPlaying::askProperties(Player& player) {
    // Without an answer the player stays unknown, and so out of the title.
    sd_bus_slot* slot = nullptr;
    if (sd_bus_call_method_async(bus_.get(), &slot, player.name.c_str(), kPlayerPath,
                                 kPropertiesInterface, "GetAll", onProperties, &player, "s",
                                 kPlayerInterface) >= 0)
        player.pending.reset(slot);
}

void NowPlaying::apply(Player& player, const PlayerState& state) {
    if (state.status == "Playing" && player.state.status != "Playing")
        player.startedPlaying = ++starts_;
    player.state = state;
}

void NowPlaying::close() {
    players_.clear();
    namesCall_.reset();
    propertiesMatch_.reset();
    ownerMatch_.reset();
    bus_.reset();
}

} // namespace lumacore::cli
