// Which of the sound server's streams belong to one application: the streams a user means by
// `--app firefox` or `--app 4242`, or by the media player shown in the banner. A stream carries
// its application's name, its program's binary and its process id; an application's streams may
// come from its child processes (browsers play from one), so a stream whose process descends
// from the chosen process belongs to it too.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumacore::cli {

// What the user asked for: a process id, or a name (the application's or its binary's); a media
// player gives both (its process, and the name its bus name carries).
struct AppChoice {
    int pid = 0;      // when above 0
    std::string name; // when not empty; compared without regard to case

    // "4242" is a process id, anything else a name. nullopt for an empty text or a number that
    // is no process id (0, negative, too large).
    static std::optional<AppChoice> parse(const std::string& text);
    // For messages: "the process 4242", "'firefox'", "'vlc' (the process 4242)".
    std::string describe() const;
    bool operator==(const AppChoice&) const = default;
};

// The application of a media player on the session bus: its process (`pid`, from its bus name's
// connection) and the name its bus name carries ("org.mpris.MediaPlayer2.vlc" is "vlc", and
// "...firefox.instance_1_23" is "firefox").
AppChoice playerApp(const std::string& busName, int pid);

// What a stream says of the program that plays it (its application.* properties); empty or 0
// where it says nothing.
struct StreamOwner {
    std::string name;   // application.name
    std::string binary; // application.process.binary
    int pid = 0;        // application.process.id
};

// A stream the server plays, as `--list-apps` shows it.
struct PlayingStream {
    unsigned index = 0; // the server's number for it
    StreamOwner owner;
    std::string sink; // the sink's name
};

// Each process's parent: 0 when unknown, and for the first process. parentInProc reads /proc.
using ParentOf = std::function<int(int pid)>;
int parentInProc(int pid);

// Whether `ancestor` is `pid` itself or one of its ancestors.
bool descendsFrom(int pid, int ancestor, const ParentOf& parentOf = parentInProc);

// Whether `stream` belongs to `choice`: its application or its binary has the chosen name, or
// its process is the chosen one or descends from it.
bool belongsTo(const StreamOwner& stream, const AppChoice& choice,
               const ParentOf& parentOf = parentInProc);

// The applications playing, one a line of `--list-apps`: the streams of one program (name, binary
// and process alike) together, with the sinks they play on.
struct PlayingApp {
    StreamOwner owner;
    std::vector<std::string> sinks;
    std::string title;     // the title of the media player whose application it is, if any
    bool followed = false; // the one --follow-player takes
};
// `players` are media players (their application and title); `followed`, the one shown in the
// banner (nullopt: none).
struct PlayerApp {
    AppChoice app;
    std::string title;
};
std::vector<PlayingApp> playingApps(const std::vector<PlayingStream>& streams,
                                    const std::vector<PlayerApp>& players,
                                    const std::optional<AppChoice>& followed,
                                    const ParentOf& parentOf = parentInProc);

// `text` from the sound server or a media player (a name, a title) as it may reach a terminal:
// control characters shown as \xHH, so that none moves the cursor, changes colours or breaks a
// tab-separated line.
std::string shownEscaped(const std::string& text);

} // namespace lumacore::cli
