// lumacore_fake_player NAME STATUS ARTIST TITLE SINK CLIENT FILE [CLIENT FILE]...
//
// A media player for the live tests that is a process of its own, as a desktop's players are: it
// takes org.mpris.MediaPlayer2.NAME on the session bus with ARTIST's TITLE in STATUS (Playing,
// Paused, Stopped; no artist when ARTIST is empty), and plays each
// FILE into SINK through a paplay child of its own whose stream's application.name is CLIENT.
// Once its name is on the bus it prints the process id of each paplay, one a line, in the order
// given. SIGTERM or SIGINT ends the streams, then the player; it leaves the bus as it exits.
#include <signal.h>
#include <systemd/sd-event.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "child_process.h"
#include "mpris_player.h"

namespace {

using lumacore::cli::SdBus;
using lumacore::cli::test::ChildProcess;
using lumacore::cli::test::MprisObject;
using lumacore::cli::test::Track;

struct EventDeleter {
    void operator()(sd_event* event) const { sd_event_unref(event); }
    void operator()(sd_event_source* source) const { sd_event_source_unref(source); }
};
using Event = std::unique_ptr<sd_event, EventDeleter>;
using EventSource = std::unique_ptr<sd_event_source, EventDeleter>;

int usage() {
    std::fprintf(stderr, "usage: lumacore_fake_player NAME STATUS ARTIST TITLE SINK CLIENT FILE "
                         "[CLIENT FILE]...\n");
    return 2;
}

int run(const std::vector<std::string>& args) {
    const std::string& name = args[0];
    const Track track{args[1], args[2].empty() ? std::vector<std::string>{} : std::vector{args[2]},
                      args[3]};
    const std::string& sink = args[4];

    // The children start before the signals are blocked, so that SIGTERM still ends them.
    std::vector<std::unique_ptr<ChildProcess>> streams;
    for (std::size_t i = 5; i + 1 < args.size(); i += 2)
        streams.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"paplay", "--device=" + sink, "--latency-msec=20",
                                     "--client-name=" + args[i], args[i + 1]}));

    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigprocmask(SIG_BLOCK, &ending, nullptr);

    sd_event* rawEvent = nullptr;
    if (sd_event_new(&rawEvent) < 0) throw std::runtime_error("no event loop");
    const Event event(rawEvent);
    sd_event_source* rawSource = nullptr;
    sd_event_add_signal(event.get(), &rawSource, SIGTERM, nullptr, nullptr); // exits the loop
    const EventSource onTerm(rawSource);
    sd_event_add_signal(event.get(), &rawSource, SIGINT, nullptr, nullptr);
    const EventSource onInt(rawSource);

    sd_bus* rawBus = nullptr;
    if (sd_bus_open_user(&rawBus) < 0) throw std::runtime_error("no session bus");
    const SdBus bus(rawBus);
    if (sd_bus_attach_event(bus.get(), event.get(), SD_EVENT_PRIORITY_NORMAL) < 0)
        throw std::runtime_error("cannot serve the bus");
    MprisObject player(bus.get(), name, track);

    for (const auto& stream : streams)
        std::printf("%d\n", static_cast<int>(stream->pid()));
    std::fflush(stdout);

    const int r = sd_event_loop(event.get());
    for (const auto& stream : streams)
        stream->stop();
    sd_bus_detach_event(bus.get());
    return r < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 7 || args.size() % 2 == 0) return usage();
    try {
        return run(args);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "lumacore_fake_player: %s\n", error.what());
        return 1;
    }
}
