// vishost: a stand-in for a Winamp-compatible player that loads a visualisation plug-in, drives
// one of its modules through a scripted run and reports what happened (see options.h for the
// command line and json_log.h for the log).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "json_log.h"
#include "options.h"
#include "plugin.h"
#include "session.h"

using namespace lumacore::vishost;

namespace {

int listModules(const Options& options) {
    const PluginLibrary plugin(options.pluginPath);
    const char* description = plugin.header().description;
    std::printf("%s (header version 0x%X)\n", description ? description : "(null)",
                static_cast<unsigned>(plugin.header().version));
    for (const PluginLibrary::Entry& entry : plugin.modules())
        std::printf("%d %s\n", entry.index, entry.description.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vishost: %s\n%s", error.what(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        if (options.list) return listModules(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vishost: %s\n", error.what());
        return 3;
    }

    const Report report = runSession(options);
    for (const std::string& error : report.errors)
        std::fprintf(stderr, "vishost: %s\n", error.c_str());
    for (const ActionRecord& action : report.actions)
        if (!action.error.empty())
            std::fprintf(stderr, "vishost: at frame %d, %s: %s\n", action.frame,
                         action.text.c_str(), action.error.c_str());
    if (!options.logPath.empty()) {
        const std::string problem = writeReport(options.logPath, report);
        if (!problem.empty()) std::fprintf(stderr, "vishost: %s\n", problem.c_str());
    }
    std::printf("init %d, %d frames, ended by %s, quit %s\n", report.initResult,
                report.framesRendered, report.endReason.c_str(),
                report.quitCalled ? "called" : "not called");
    return exitCodeFor(report);
}
