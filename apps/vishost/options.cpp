#include "options.h"

#include <cerrno>
#include <cstdlib>

#include "signals.h"

namespace lumacore::vishost {

const char* const kUsage =
    "usage: vishost PLUGIN.dll [--list] [--config-only] [--module N]\n"
    "               [--frames FILE | --signal music|silence|sweep|full|noise] [--count N] "
    "[--no-delay]\n"
    "               [--threaded | --single-thread] [--title TEXT | --null-title]... "
    "[--list-pos N]\n"
    "               [--at K:ACTION]... [--log FILE]\n"
    "               [--cycles N] [--total N] [--random SEED] [--player-config EVERY]\n"
    "               [--quit-only] [--render-thread] [--flood-timer]\n"
    "               [--quit-thread pumping|blocked] [--busy-main MS]\n"
    "actions: keydown:VK keyup:VK key:VK char:CODE command:ID[:NOTIFY] timer[:ID] mouse:X,Y\n"
    "         resize:W,H move:X,Y minimise restore close config invalidate\n"
    "         slider:ID:POS[:CODE] click:ID\n"
    "         dump:PATH dump-dialog:PATH   (PATH ends in .bmp or .png)\n";

int parseNumber(const std::string& text, const std::string& what, long long min, long long max) {
    // Decimal, or hex after 0x; no octal, no spaces, nothing after the digits.
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const bool hex = text.compare(sign, 2, "0x") == 0 || text.compare(sign, 2, "0X") == 0;
    const std::size_t digits = sign + (hex ? 2 : 0);
    const std::string allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits >= text.size() || text.find_first_not_of(allowed, digits) != std::string::npos)
        throw UsageError(what + ": '" + text + "' is not a number");
    errno = 0;
    long long value = std::strtoll(text.c_str() + digits, nullptr, hex ? 16 : 10);
    if (errno == ERANGE) throw UsageError(what + ": " + text + " is out of range");
    if (text[0] == '-') value = -value;
    if (value < min || value > max)
        throw UsageError(what + ": " + text + " is outside " + std::to_string(min) + ".." +
                         std::to_string(max));
    return static_cast<int>(value);
}

Options parseCommandLine(const std::vector<std::string>& args) {
    Options options;
    bool sawFrames = false, sawSignal = false, sawCycles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--config-only") {
            options.configOnly = true;
        } else if (arg == "--module") {
            options.module = parseNumber(value(), "--module", 0);
        } else if (arg == "--frames") {
            options.framesPath = value();
            sawFrames = true;
        } else if (arg == "--signal") {
            options.signal = value();
            if (!isSignalName(options.signal))
                throw UsageError("--signal: unknown signal '" + options.signal + "'");
            sawSignal = true;
        } else if (arg == "--count") {
            options.count = parseNumber(value(), "--count", 0);
        } else if (arg == "--no-delay") {
            options.noDelay = true;
        } else if (arg == "--threaded") {
            options.threaded = true;
        } else if (arg == "--single-thread") {
            options.threaded = false;
        } else if (arg == "--title") {
            options.playlist.emplace_back(value());
        } else if (arg == "--null-title") {
            options.playlist.emplace_back(std::nullopt);
        } else if (arg == "--list-pos") {
            options.listPos = parseNumber(value(), "--list-pos");
        } else if (arg == "--at") {
            options.actions.push_back(parseScheduledAction(value()));
        } else if (arg == "--cycles") {
            options.cycles = parseNumber(value(), "--cycles", 1);
            sawCycles = true;
        } else if (arg == "--total") {
            options.totalFrames = parseNumber(value(), "--total", 1);
        } else if (arg == "--random") {
            options.randomSeed = static_cast<unsigned>(parseNumber(value(), "--random", 0));
        } else if (arg == "--player-config") {
            options.playerConfigEvery = parseNumber(value(), "--player-config", 1);
        } else if (arg == "--quit-only") {
            options.quitOnly = true;
        } else if (arg == "--render-thread") {
            options.renderThread = true;
        } else if (arg == "--flood-timer") {
            options.floodTimer = true;
        } else if (arg == "--quit-thread") {
            const std::string& mode = value();
            if (mode == "pumping")
                options.quitThread = Options::QuitThread::PlayerPumping;
            else if (mode == "blocked")
                options.quitThread = Options::QuitThread::PlayerBlocked;
            else
                throw UsageError("--quit-thread: expected pumping or blocked, not '" + mode + "'");
        } else if (arg == "--busy-main") {
            options.busyMainMs = parseNumber(value(), "--busy-main", 1, 600000);
        } else if (arg == "--log") {
            options.logPath = value();
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + arg);
        } else if (options.pluginPath.empty()) {
            options.pluginPath = arg;
        } else {
            throw UsageError("more than one plug-in given ('" + options.pluginPath + "', '" + arg +
                             "')");
        }
    }
    if (options.totalFrames && !sawCycles) options.cycles = 0x7FFFFFFF;
    if (sawFrames && sawSignal) throw UsageError("--frames and --signal exclude each other");
    const bool otherThreads = options.renderThread ||
                              options.quitThread != Options::QuitThread::Module ||
                              options.busyMainMs > 0;
    if (otherThreads && !options.threaded)
        throw UsageError("--render-thread, --quit-thread and --busy-main need --threaded");
    if (options.busyMainMs > 0 && options.quitThread != Options::QuitThread::Module)
        throw UsageError("--busy-main and --quit-thread exclude each other");
    if (options.quitOnly && options.configOnly)
        throw UsageError("--quit-only and --config-only exclude each other");
    if (options.pluginPath.empty() && !options.help) throw UsageError("no plug-in given");
    return options;
}

} // namespace lumacore::vishost
