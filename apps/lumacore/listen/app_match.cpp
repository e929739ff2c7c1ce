// Streams and the application they belong to, by name, binary or the process tree.
#include "listen/app_match.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

namespace lumacore::cli {
namespace {

constexpr int kDeepest = 64; // ancestors looked at: more is a loop in a damaged table

bool sameName(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

// The parent from /proc/PID/stat: "pid (comm) state ppid ...", where comm may itself hold spaces
// and parentheses, so the fields are read after its last ')'.
int parentInProc(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(stat.substr(close + 1));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    return rest ? parent : 0;
}

std::optional<AppChoice> AppChoice::parse(const std::string& text) {
    if (text.empty()) return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int pid = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
        if (error != std::errc() || end != text.data() + text.size() || pid <= 0)
            return std::nullopt;
        return AppChoice{pid, ""};
    }
    return AppChoice{0, text};
}

std::string AppChoice::describe() const {
    const std::string process = "the process " + std::to_string(pid);
    if (name.empty()) return process;
    return pid > 0 ? "'" + name + "' (" + process + ")" : "'" + name + "'";
}

AppChoice playerApp(const std::string& busName, int pid) {
    constexpr std::string_view kPrefix = "org.mpris.MediaPlayer2.";
    std::string name = busName.starts_with(kPrefix) ? busName.substr(kPrefix.size()) : busName;
    name = name.substr(0, name.find('.'));
    return AppChoice{pid, name};
}

bool belongsTo(const StreamOwner& stream, const AppChoice& choice, const ParentOf& parentOf) {
    if (!choice.name.empty() &&
        (sameName(stream.name, choice.name) || sameName(stream.binary, choice.name)))
        return true;
    return choice.pid > 0 && descendsFrom(stream.pid, choice.pid, parentOf);
}

bool descendsFrom(int pid, int ancestor, const ParentOf& parentOf) {
    for (int depth = 0; pid > 0 && depth < kDeepest; ++depth, pid = parentOf(pid))
        if (pid == ancestor) return true;
    return false;
}

std::vector<PlayingApp> playingApps(const std::vector<PlayingStream>& streams,
                                    const std::vector<PlayerApp>& players,
                                    const std::optional<AppChoice>& followed,
                                    const ParentOf& parentOf) {
    std::vector<PlayingApp> apps;
    for (const PlayingStream& stream : streams) {
        const StreamOwner& owner = stream.owner;
        auto app = std::find_if(apps.begin(), apps.end(), [&](const PlayingApp& known) {
            return known.owner.name == owner.name && known.owner.binary == owner.binary &&
                   known.owner.pid == owner.pid;
        });
        if (app == apps.end()) {
            apps.push_back({owner, {}, "", false});
            app = apps.end() - 1;
            for (const PlayerApp& player : players)
                if (app->title.empty() && belongsTo(owner, player.app, parentOf))
                    app->title = player.title;
            app->followed = followed && belongsTo(owner, *followed, parentOf);
        }
        if (std::find(app->sinks.begin(), app->sinks.end(), stream.sink) == app->sinks.end())
            app->sinks.push_back(stream.sink);
    }
    return apps;
}

std::string shownEscaped(const std::string& text) {
    constexpr char kHex[] = "0123456789abcdef";
    const auto hex = [&](unsigned char byte) {
        return std::string{kHex[byte >> 4], kHex[byte & 15]};
    };
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7f) {
            shown += "\\x" + hex(byte);
        } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
            shown += "\\u00" + hex(next); // a C1 control in UTF-8, which terminals obey too
            ++i;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

} // namespace lumacore::cli
