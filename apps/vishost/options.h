// The command line of vishost, the player stand-in:
//
//   vishost PLUGIN.dll [--list] [--module N]
//           [--frames FILE | --signal music|silence|sweep|full|noise] [--count N] [--no-delay]
//           [--threaded | --single-thread]
//           [--title TEXT | --null-title]... [--list-pos N]
//           [--at K:ACTION]... [--log FILE]
//           [--cycles N] [--total N] [--random SEED] [--player-config EVERY]
//           [--quit-only] [--render-thread] [--flood-timer] [--quit-thread pumping|blocked]
//           [--busy-main MS]
//
// Playlist entries come in command-line order; --null-title makes an entry whose title the
// player gives as a null pointer. Actions run before Render of frame K (0-based) in command-line
// order; see actions.h for their grammar.
//
// --cycles repeats the whole run (Init, the frames and their actions, Quit) N times in one load
// of the library, each on a fresh vis thread, and notes the plug-in's resources after every Quit.
// --total starts no further cycle once N frames have been rendered in all (cycles without limit
// unless --cycles is given); a cycle then also ends after the frame that reaches N.
// --random adds a random user action to about one frame in four (keys, characters, mouse, timer
// ticks, resizes, minimise and restore, commands, the dialog's controls, and now and then a
// close), drawn from SEED so that a run can be repeated; their failures (no dialog open, say) are
// counted, not errors. --player-config has the player's own thread call the module's Config every
// EVERY frames while the vis thread runs, as a user choosing "Configure" in the player does.
//
// Hosts that break the one-thread contract or the order of calls: --quit-only calls Quit without
// Init. --render-thread has a second thread call Render frame after frame while the thread that
// called Init takes its windows' messages (the banner's timer among them) and applies the
// actions once that many frames are rendered. --flood-timer posts the display a timer tick every
// time round the loop of the window's thread. --quit-thread has the player's own thread call
// Quit while the thread that called Init waits for it taking its messages (pumping) or not
// (blocked). --busy-main keeps the player's thread from its messages for up to MS milliseconds
// once Init has returned, as a player does that waits for the vis thread to end.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "actions.h"

namespace lumacore::vishost {

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string pluginPath;
    bool list = false;
    bool configOnly = false; // call the module's Config without running it, then stop
    bool help = false;
    int module = 0;
    std::string framesPath;       // --frames: play a frames file
    std::string signal = "music"; // otherwise: a built-in signal
    std::optional<int> count;     // frames to render; default: all frames, or no limit
    bool noDelay = false;         // skip the module's delayMs wait between frames
    bool threaded = true;         // run the module on its own thread, as players do
    std::vector<std::optional<std::string>> playlist;
    int listPos = 0;
    std::vector<ScheduledAction> actions;
    std::string logPath;
    int cycles = 1;
    int totalFrames = 0; // 0: no limit over the cycles
    std::optional<unsigned> randomSeed;
    int playerConfigEvery = 0; // 0: never
    bool quitOnly = false;     // call Quit without Init, then stop
    bool renderThread = false; // Render from a second thread
    bool floodTimer = false;   // a timer tick to the display every time round the loop
    enum class QuitThread { Module, PlayerPumping, PlayerBlocked };
    QuitThread quitThread = QuitThread::Module;
    int busyMainMs = 0; // 0: the player's thread takes its messages throughout
};

// Parses the arguments after the program name. Throws UsageError with a one-line message.
Options parseCommandLine(const std::vector<std::string>& args);

// A whole number in decimal or 0x hex, within [min, max]; `what` names it in the error.
int parseNumber(const std::string& text, const std::string& what, long long min = -2147483648LL,
                long long max = 2147483647LL);

extern const char* const kUsage;

} // namespace lumacore::vishost
