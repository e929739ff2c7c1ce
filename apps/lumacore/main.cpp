// lumacore: Lumacore's pictures without a Windows player. `play` shows them live in a window with
// the sound, `listen` shows whatever the desktop plays; `render` turns audio (or a recorded frames
// file) into a video, a PNG still or a PNG sequence, or a batch of inputs into a folder of them;
// `analyse` writes the frames file that vishost plays, so the plug-in under Wine and this renderer
// can be fed the same frames.
#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>

#include "host/posix/temporary_files.h"
#include "listen/listen.h"
#include "play/play.h"
#include "render/batch_plan.h"
#include "render/batch_render.h"
#include "render/render_job.h"

namespace {

using lumacore::cli::BatchOptions;
using lumacore::cli::DisplayOptions;
using lumacore::cli::ListenOptions;
using lumacore::cli::LiveOptions;
using lumacore::cli::ModuleKind;
using lumacore::cli::PlayOptions;
using lumacore::cli::RenderOptions;
using lumacore::cli::VideoChoice;
using lumacore::cli::VideoQuality;
using lumacore::cli::WallpaperLayer;

// "WxH" into width and height; false when it is not that.
bool parseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
    try {
        std::size_t used = 0;
        const long long w = std::stoll(text.substr(0, x), &used);
        if (used != x) return false;
        const long long h = std::stoll(text.substr(x + 1), &used);
        if (used != text.size() - x - 1) return false;
        if (w < -1000000 || w > 1000000 || h < -1000000 || h > 1000000) {
            width = height = -1; // reported as out of range
            return true;
        }
        width = static_cast<int>(w);
        height = static_cast<int>(h);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The options `render` and `play` share, registered once so that both spell and explain them
// alike, and turned into DisplayOptions after parsing.
struct DisplayArguments {
    std::string size;
    std::string module = "history";
    std::string mode = "3d";
    double brightness = 1.0;
    std::string title;
    double duration = 0;
    std::string video = "auto";
    std::string layer = "background";
    CLI::App* command = nullptr;

    // `fromInput`: the options that pick where in an input to begin (--frames, --start), which a
    // live capture has not.
    void add(CLI::App* app, DisplayOptions& options, const std::string& sizeHelp,
             const std::string& rateHelp, bool fromInput = true) {
        command = app;
        if (fromInput)
            app->add_option("--frames", options.framesFile,
                            "Render calls from a frames file instead of the sound");
        app->add_option("--module", module, "history, scope or vu")
            ->check(CLI::IsMember({"history", "scope", "vu"}));
        app->add_option("--mode", mode, "2d or 3d (history)")->check(CLI::IsMember({"2d", "3d"}));
        app->add_option("--brightness", brightness, "0.2 to 2.0 (history)");
        app->add_option("--size", size, sizeHelp);
        app->add_option("--rate", options.rate, rateHelp);
        app->add_option("--title", title, "banner text (default: tags, else file name)");
        if (fromInput) app->add_option("--start", options.start, "seconds into the input to begin");
    }

    // The options of a live window, and which display options the command line gave.
    void addLive(CLI::App* app, LiveOptions& options) {
        app->add_option("--duration", duration, "stop after this many seconds");
        app->add_flag("--fullscreen", options.fullscreen, "start full screen");
        app->add_option("--dump", options.dump, "write the last picture shown to this PNG");
        app->add_option("--video", video, "auto, x11 or wayland: the display server to draw on")
            ->check(CLI::IsMember({"auto", "x11", "wayland"}));
        app->add_flag("--wallpaper", options.wallpaper,
                      "draw as the desktop's background, behind every window, on every monitor");
        app->add_option("--monitor", options.wallpaperOptions.monitor,
                        "with --wallpaper: only this monitor (its name, as the desktop gives it)");
        app->add_option("--layer", layer,
                        "with --wallpaper on Wayland: background or bottom (for desktops such as "
                        "KDE Plasma whose own background covers the background layer)")
            ->check(CLI::IsMember({"background", "bottom"}));
    }
    void applyLive(LiveOptions& options) const {
        apply(options);
        options.video = video == "x11"       ? VideoChoice::X11
                        : video == "wayland" ? VideoChoice::Wayland
                                             : VideoChoice::Auto;
        options.wallpaperOptions.layer =
            layer == "bottom" ? WallpaperLayer::Bottom : WallpaperLayer::Background;
        if (!options.wallpaper) {
            for (const char* name : {"--monitor", "--layer"})
                if (given(name))
                    throw std::invalid_argument(std::string(name) + " is for --wallpaper");
        } else {
            for (const char* name : {"--fullscreen", "--size"})
                if (given(name))
                    throw std::invalid_argument(
                        std::string(name) + " is for a window: the wallpaper fills its monitors");
        }
        options.moduleGiven = given("--module");
        options.modeGiven = given("--mode");
        options.brightnessGiven = given("--brightness");
    }

    bool given(const char* name) const { return command->count(name) > 0; }

    void apply(DisplayOptions& options) const {
        const std::map<std::string, ModuleKind> modules = {{"history", ModuleKind::History},
                                                           {"scope", ModuleKind::Scope},
                                                           {"vu", ModuleKind::VuMeter}};
        options.module = modules.at(module);
        options.threeD = mode == "3d";
        options.brightness = static_cast<float>(brightness);
        if (given("--title")) options.title = title;
        if (given("--duration")) options.duration = duration;
        if (!size.empty()) {
            if (!parseSize(size, options.width, options.height))
                throw std::invalid_argument("--size must look like 1280x720, not '" + size + "'");
            options.sizeGiven = true;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN); // a reader that goes away is a write error, said in one line
    CLI::App app{"lumacore: Lumacore's visualisations of audio, live in a window or rendered "
                 "into video or pictures"};
    app.set_version_flag("--version", std::string("lumacore ") + LUMACORE_VERSION);
    app.require_subcommand(1);
    // A mistyped command line is one line, like every other error.
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("lumacore: ") + error.what() + " (see lumacore --help)\n";
    });

    PlayOptions play;
    DisplayArguments playArguments;
    CLI::App* playCommand = app.add_subcommand(
        "play", "play audio files and folders (or the demo tune) with the picture in a window");
    playCommand->add_option("input", play.inputs,
                            "audio files and folders (default: the demo tune)");
    playArguments.add(playCommand, play,
                      "initial window client size WxH (default: the last one, else 60% by 50% "
                      "of the screen)",
                      "Render calls per second (default: the display's refresh rate)");
    playArguments.addLive(playCommand, play);
    playCommand->add_flag("-r,--recursive", play.recursive, "folders with their subfolders");
    playCommand->add_flag("--loop", play.loop, "play the list again when it ends");
    playCommand->add_flag("--no-sound", play.noSound, "the picture only, paced by the clock");

    ListenOptions listen;
    DisplayArguments listenArguments;
    CLI::App* listenCommand = app.add_subcommand(
        "listen", "show what the desktop plays (or any sound source), live in a window");
    listenArguments.add(listenCommand, listen,
                        "initial window client size WxH (default: the last one, else 60% by "
                        "50% of the screen)",
                        "Render calls per second (default: the display's refresh rate)", false);
    listenArguments.addLive(listenCommand, listen);
    listenCommand->add_option("--source", listen.source,
                              "the sound server's source to record (default: the monitor of "
                              "the default sink, followed)");
    listenCommand->add_flag("--list-sources", listen.listSources,
                            "print every source, the default marked, and exit");
    listenCommand->add_option("--app", listen.app,
                              "record only this application's streams: its name (or its "
                              "binary's) or its process id");
    listenCommand->add_flag("--follow-player", listen.followPlayer,
                            "record only the media player shown in the banner, as it changes");
    listenCommand->add_flag("--list-apps", listen.listApps,
                            "print every application playing, the one --follow-player takes "
                            "marked, and exit");
    listenCommand->add_option("--sound-api", listen.soundApi,
                              "auto, pulse or pipewire: the sound server's API to record through "
                              "(default: auto, PipeWire's own where it runs)");
    listenCommand->add_option("--fifo", listen.fifo,
                              "record raw sound a player writes into this FIFO (or file), such "
                              "as MPD's fifo output, instead of a sound server");
    listenCommand->add_option("--fifo-format", listen.fifoFormat,
                              "the FIFO's RATE:BITS:CHANNELS (default 44100:16:2)");

    RenderOptions render;
    DisplayArguments renderArguments;
    BatchOptions batch;
    CLI::App* renderCommand = app.add_subcommand(
        "render", "render INPUT (or the built-in demo tune) to OUTPUT; several inputs, or a "
                  "folder of them, each to a file of its own in the OUTPUT folder");
    renderCommand->add_option("input", batch.inputs,
                              "audio files, or folders of them (default: the demo tune)");
    renderCommand
        ->add_option("-o,--output", render.output,
                     "OUTPUT: .mp4 .mkv .webm .mov (video with the sound), .png (a still "
                     "at --at), a directory (PNG sequence), - (raw RGBA), null; for several "
                     "inputs a folder (an existing one, or a name ending in /)")
        ->required();
    renderArguments.add(renderCommand, render,
                        "client area WxH (default 1280x720; 289x257 for scope and vu)",
                        "Render calls per second (default: --fps)");
    renderCommand->add_option("--fps", render.fps, "video frame rate (default 60)");
    renderCommand->add_option("--duration", renderArguments.duration,
                              "seconds to render (default: to the end)");
    renderCommand->add_option("--at", render.at, "the moment of a .png still, in seconds");
    renderCommand->add_option("--scale", render.scale, "integer enlargement (nearest neighbour)");
    std::string quality = "balanced";
    const std::map<std::string, VideoQuality> qualities = {{"fast", VideoQuality::Fast},
                                                           {"balanced", VideoQuality::Balanced},
                                                           {"best", VideoQuality::Best}};
    renderCommand
        ->add_option("--quality", quality,
                     "video encoding: fast, balanced (default) or best (slower, smaller, finer)")
        ->check(CLI::IsMember(qualities));
    renderCommand->add_flag("--transparent", render.transparent,
                            "the display's black background transparent (.png, a PNG sequence, "
                            ".webm with VP9 alpha, .mov with ProRes 4444)");
    renderCommand->add_option("--background", render.background,
                              "FILE (PNG or JPEG) or 'cover' (the input's cover art): a picture "
                              "behind the display, scaled to cover it");
    renderCommand->add_flag("-q,--quiet", render.quiet, "no progress bar");
    renderCommand
        ->add_option("--format", batch.format,
                     "of each output of several inputs: mp4 (default), mkv, webm, mov or png "
                     "(a PNG sequence folder)")
        ->check(CLI::IsMember({"mp4", "mkv", "webm", "mov", "png"}));
    renderCommand->add_flag("-r,--recursive", batch.recursive,
                            "folders with their subfolders (the outputs keep the sub-folders)");
    renderCommand
        ->add_option("--jobs", batch.jobs,
                     "inputs rendered at once (default: one per core, at most 4)")
        ->check(CLI::Range(1, lumacore::cli::kMaxJobs));

    std::string analyseInput, analyseOutput;
    double analyseRate = 60;
    CLI::App* analyseCommand =
        app.add_subcommand("analyse", "write the frames file of INPUT (or the demo tune)");
    analyseCommand->alias("analyze");
    analyseCommand->add_option("input", analyseInput, "audio file (default: the demo tune)");
    analyseCommand->add_option("-o,--output", analyseOutput, "frames file to write")->required();
    analyseCommand->add_option("--rate", analyseRate, "frames per second (default 60)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    // The live windows end the same way whatever asks them to (Q, the close box, a signal):
    // settings saved, the last picture written, the sound server's stream closed; a signal then
    // still ends the program as that signal would. The batch commands remove their temporary
    // files and die of it at once.
    const bool live = *playCommand || *listenCommand;
    if (live) {
        lumacore::installInterruptRequests();
    } else {
        lumacore::installInterruptCleanup();
    }
    try {
        int status = 0;
        if (*playCommand) {
            playArguments.applyLive(play);
            status = lumacore::cli::runPlay(play);
        } else if (*listenCommand) {
            listenArguments.applyLive(listen);
            status = lumacore::cli::runListen(listen);
        }
        if (const int signal = lumacore::interruptRequested(); signal != 0) lumacore::dieOf(signal);
        if (live) return status;
        if (*renderCommand) {
            renderArguments.apply(render);
            render.quality = qualities.at(quality);
            if (lumacore::cli::isBatch(batch.inputs, render.output,
                                       renderCommand->count("--format") > 0)) {
                batch.atGiven = renderCommand->count("--at") > 0;
                return lumacore::cli::runBatch(render, batch);
            }
            if (!batch.inputs.empty()) render.input = batch.inputs.front();
            lumacore::cli::runRender(render);
        } else {
            lumacore::cli::runAnalyse(analyseInput, analyseOutput, analyseRate);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumacore: %s\n", error.what());
        if (const int signal = lumacore::interruptRequested(); signal != 0) lumacore::dieOf(signal);
        return 1;
    }
    return 0;
}
