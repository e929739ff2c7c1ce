// `lumacore render` with several inputs, through the program: each output named after its input
// and the same as a render of that input alone; a broken input named in one line while the rest
// go on; a folder's files in name order, with -r its subfolders' too; a background picture read
// once for the batch; and the batches refused before anything is written. On a terminal, the one
// progress line and the error lines apart.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "output/sinks.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

// Small and short, so that a batch takes a fraction of a second.
const std::vector<std::string> kSmall = {"--size", "64x36", "--fps", "10"};

// Makes the inputs in `folder`: a name ending in ".wav" a second of a sawtooth whose pitch
// depends on its place in `names` (so no two outputs can be mistaken for each other), one ending
// in ".png" a picture of two colours, any other name a text file.
void makeFiles(const fs::path& folder, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        const fs::path path = folder / names[i];
        fs::create_directories(path.parent_path());
        if (path.extension() == ".png") {
            Bitmap picture(40, 30);
            for (int y = 0; y < picture.height(); ++y)
                std::fill_n(picture.row(y), picture.width(), y < 15 ? 0x3060C0u : 0xC06030u);
            const std::vector<std::uint8_t> png = encodePng(picture, 1);
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(png.data()), std::ssize(png));
            continue;
        }
        if (path.extension() != ".wav") {
            std::ofstream(path) << "these are not sounds\n";
            continue;
        }
        std::vector<std::int16_t> samples;
        const long long step = 211 + 97 * static_cast<long long>(i);
        for (long long n = 0; n < 44100; ++n) {
            samples.push_back(static_cast<std::int16_t>((n * step) % 40000 - 20000));
            samples.push_back(static_cast<std::int16_t>((n * step / 3) % 30000 - 15000));
        }
        writeWav16(path, samples);
    }
}

// The MD5 of every decoded frame of every stream of a video (FFmpeg's framemd5); empty when it
// cannot be decoded.
std::string decodedFrames(const fs::path& video) {
    const ScratchDir scratch;
    const std::string sums = scratch.file("sums");
    if (!runFfmpegTool({"-i", video.string(), "-map", "0", "-f", "framemd5", sums})) return {};
    return fileBytes(sums);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        out.push_back(text.substr(at, end - at));
    return out;
}

std::string shown(const std::vector<std::string>& args) {
    std::string text = "render";
    for (const std::string& a : args)
        text += " " + a;
    return text;
}

struct Output {
    std::string path;  // a video, or a PNG sequence's folder ending in '/'
    std::string input; // the input it renders
};

// Counts the opens of one file (inotify) while it lives: how often the programs run meanwhile
// read it, once they have ended. Closes are watched too, since the kernel merges an event with
// the one queued before it when they are alike.
class OpenCount {
  public:
    explicit OpenCount(const fs::path& file) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(::inotify_add_watch(fd_, file.c_str(), IN_OPEN | IN_CLOSE), 0) << file;
    }
    ~OpenCount() { ::close(fd_); }
    OpenCount(const OpenCount&) = delete;
    OpenCount& operator=(const OpenCount&) = delete;

    int opens() const {
        int count = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t got; (got = ::read(fd_, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                count += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    }

  private:
    int fd_;
};

TEST(RenderBatch, EachInputGivesItsOwnOutputAndABrokenOneOnlyItsLine) {
    if (!haveFfmpegTool()) GTEST_SKIP() << "the ffmpeg tool decodes the videos";
    const std::vector<std::string> album = {"album/2.wav", "album/1.wav", "album/notes.txt",
                                            "album/sub/3.wav"};
    const struct {
        const char* what;
        std::vector<std::string> files;
        std::vector<std::string> args;
        int exitCode;
        std::vector<Output> outputs;   // in the order rendered (finished so with --jobs 1)
        std::vector<std::string> said; // how each line on standard error begins, after "lumacore: "
        std::vector<std::string> each = {}; // options of the batch that each render alone takes
        std::string readOnce = {};          // a file the batch opens as often as a render alone
    } cases[] = {
        {"three inputs, the second no audio: two videos and its line",
         {"a.wav", "b.mp3", "c.wav"},
         {"a.wav", "b.mp3", "c.wav", "-o", "videos/"},
         1,
         {{"videos/a.mp4", "a.wav"}, {"videos/c.mp4", "c.wav"}},
         {"b.mp3: "}},
        {"a folder: its audio files in name order, not its subfolders",
         album,
         {"album", "--jobs", "1", "--format", "webm", "-o", "out/"},
         0,
         {{"out/1.webm", "album/1.wav"}, {"out/2.webm", "album/2.wav"}},
         {}},
        {"a folder with -r: its subfolders' files keep their sub-path",
         album,
         {"-r", "album", "--jobs", "1", "-o", "out/"},
         0,
         {{"out/1.mp4", "album/1.wav"},
          {"out/2.mp4", "album/2.wav"},
          {"out/sub/3.mp4", "album/sub/3.wav"}},
         {}},
        {"a folder without audio: its line, and the rest rendered",
         {"a.wav", "empty/notes.txt"},
         {"empty", "a.wav", "-o", "out/"},
         1,
         {{"out/a.mp4", "a.wav"}},
         {"empty: no audio files"}},
        {"a PNG sequence folder for each input",
         {"a.wav", "c.wav"},
         {"a.wav", "c.wav", "--format", "png", "-o", "frames/"},
         0,
         {{"frames/a/", "a.wav"}, {"frames/c/", "c.wav"}},
         {}},
        {"an earlier output in the folder is replaced, as a single render replaces it",
         {"a.wav", "c.wav", "out/a.mp4"},
         {"a.wav", "c.wav", "-o", "out"},
         0,
         {{"out/a.mp4", "a.wav"}, {"out/c.mp4", "c.wav"}},
         {}},
        {"one file into a folder, without --format: the PNG sequence it always was",
         {"a.wav"},
         {"a.wav", "-o", "out/"},
         0,
         {{"out/", "a.wav"}},
         {}},
        {"two inputs for one output name: refused",
         {"c.wav", "x/a.wav", "y/a.wav"},
         {"c.wav", "x/a.wav", "y/a.wav", "-o", "out/"},
         1,
         {},
         {"x/a.wav and y/a.wav would both be written to 'out/a.mp4'"}},
        {"one input twice: refused", {"a.wav"}, {"a.wav", "a.wav", "-o", "out/"}, 1, {}, {"a.wav"}},
        {"one input by two spellings: refused",
         {"a.wav"},
         {"./a.wav", "a.wav", "-o", "out/"},
         1,
         {},
         {"'./a.wav' and 'a.wav' are one file, given twice"}},
        {"two outputs whose names differ only in case: refused",
         {"Café Été.wav", "café été.wav"},
         {"Café Été.wav", "café été.wav", "-o", "out/"},
         1,
         {},
         {"Café Été.wav and café été.wav would be written to 'out/Café Été.mp4' and 'out/café "
          "été.mp4', names that differ only in case"}},
        {"a picture behind every track: as rendered alone over it, the picture read once",
         {"a.wav", "c.wav", "behind.png"},
         {"a.wav", "c.wav", "-o", "out/"},
         0,
         {{"out/a.mp4", "a.wav"}, {"out/c.mp4", "c.wav"}},
         {},
         {"--background", "behind.png"},
         "behind.png"},
        {"a picture behind that is none: refused once, before anything is written",
         {"a.wav", "c.wav", "behind.jpg"},
         {"a.wav", "c.wav", "-o", "out/"},
         1,
         {},
         {"cannot read the background 'behind.jpg': "},
         {"--background", "behind.jpg"}},
        {"an output that is a file: refused",
         {"a.wav", "c.wav", "taken.mp4"},
         {"a.wav", "c.wav", "-o", "taken.mp4"},
         1,
         {},
         {"'taken.mp4' is not a folder"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        const fs::path folder = fs::path(scratch.file("x")).parent_path();
        makeFiles(folder, c.files);
        const std::vector<std::string> before = entriesUnder(folder);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "render");
        args.insert(args.end(), kSmall.begin(), kSmall.end());
        args.insert(args.end(), c.each.begin(), c.each.end());
        std::optional<OpenCount> reads;
        if (!c.readOnce.empty()) reads.emplace(folder / c.readOnce);
        const ProgramRun run = runLumacore(args, folder, false, 60);
        const int batchReads = reads ? reads->opens() : 0;

        EXPECT_EQ(run.exitCode, c.exitCode) << shown(c.args) << ": " << run.errors;
        const std::vector<std::string> said = lines(run.errors);
        ASSERT_EQ(said.size(), c.said.size()) << run.errors;
        for (std::size_t i = 0; i < said.size(); ++i)
            EXPECT_TRUE(said[i].starts_with("lumacore: " + c.said[i])) << said[i];

        // What the batch wrote, checked against a render of each input alone (made after the
        // listing, beside it): the outputs and their folders, nothing half-written, no more.
        std::set<std::string> wanted(before.begin(), before.end());
        std::vector<std::string> references;
        for (const Output& o : c.outputs) {
            const bool sequence = o.path.ends_with('/');
            const fs::path path = sequence ? fs::path(o.path).parent_path() : fs::path(o.path);
            const std::string reference = "reference-" + std::to_string(references.size()) +
                                          (sequence ? "/" : path.extension().string());
            std::vector<std::string> alone = {"render", o.input, "-o", reference};
            alone.insert(alone.end(), kSmall.begin(), kSmall.end());
            alone.insert(alone.end(), c.each.begin(), c.each.end());
            const ProgramRun made = runLumacore(alone, folder);
            ASSERT_EQ(made.exitCode, 0) << made.errors;
            if (reads && references.empty()) {
                const int aloneReads = reads->opens();
                EXPECT_GT(aloneReads, 0);
                EXPECT_EQ(batchReads, aloneReads) << c.readOnce << " read again for each track";
            }
            references.push_back(reference);
            for (fs::path at = path; !at.empty(); at = at.parent_path())
                wanted.insert(at.string());
            if (sequence)
                for (const std::string& frame : entriesUnder(folder / reference))
                    wanted.insert((path / frame).string());
        }
        std::vector<std::string> after = entriesUnder(folder);
        std::erase_if(after, [](const std::string& e) { return e.starts_with("reference-"); });
        EXPECT_EQ(after, std::vector<std::string>(wanted.begin(), wanted.end()));

        for (std::size_t i = 0; i < c.outputs.size(); ++i) {
            const fs::path output = folder / c.outputs[i].path, reference = folder / references[i];
            SCOPED_TRACE(c.outputs[i].path);
            if (fs::is_directory(output)) {
                for (const std::string& frame : entriesUnder(reference))
                    EXPECT_EQ(fileBytes(output / frame), fileBytes(reference / frame)) << frame;
                continue;
            }
            const std::string frames = decodedFrames(output);
            EXPECT_FALSE(frames.empty()) << "does not decode";
            EXPECT_EQ(frames, decodedFrames(reference));
            // One at a time, in order: each output is complete before the next begins.
            if (i > 0 && std::count(c.args.begin(), c.args.end(), "--jobs") > 0) {
                EXPECT_LE(fs::last_write_time(folder / c.outputs[i - 1].path),
                          fs::last_write_time(output));
            }
        }
    }
}

// The pieces of what a terminal got between its carriage returns and line ends, erases dropped:
// each is a progress line drawn or a message.
std::vector<std::string> terminalPieces(const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text.compare(i, 3, "\x1b[K") == 0) {
            i += 2;
        } else if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += text[i];
        }
    }
    return pieces;
}

TEST(RenderBatch, OnATerminalOneProgressLineForTheBatchAndErrorsOnLinesOfTheirOwn) {
    const struct {
        const char* what;
        std::vector<std::string> options;
        bool progress;
    } cases[] = {
        {"two at a time", {"--jobs", "2"}, true},
        {"one at a time", {"--jobs", "1"}, true},
        {"quiet", {"-q"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir scratch;
        const fs::path folder = fs::path(scratch.file("x")).parent_path();
        makeFiles(folder, {"a.wav", "b.mp3", "c.wav"});
        std::vector<std::string> args = {"render", "a.wav", "b.mp3", "c.wav", "-o", "out/"};
        args.insert(args.end(), kSmall.begin(), kSmall.end());
        args.insert(args.end(), c.options.begin(), c.options.end());
        const ProgramRun run = runLumacoreOnTerminal(args, folder, 60);
        if (run.exitCode == 127) GTEST_SKIP() << "no script(1) to give the program a terminal";
        EXPECT_EQ(run.exitCode, 1) << run.output;

        const std::vector<std::string> pieces = terminalPieces(run.output);
        const auto messages = std::count_if(pieces.begin(), pieces.end(), [](const auto& p) {
            return p.starts_with("lumacore: b.mp3: ");
        });
        EXPECT_EQ(messages, 1) << run.output;
        std::vector<std::string> progress;
        for (const std::string& p : pieces)
            if (!p.starts_with("lumacore: b.mp3: ")) progress.push_back(p);
        if (!c.progress) {
            EXPECT_TRUE(progress.empty()) << run.output;
            continue;
        }
        ASSERT_FALSE(progress.empty()) << run.output;
        for (const std::string& p : progress)
            EXPECT_TRUE(p.starts_with("track") && p.find(" of 3 ") != std::string::npos) << p;
        EXPECT_TRUE(progress.back().starts_with("track 3 of 3 ")) << progress.back();
        EXPECT_NE(progress.back().find("100%"), std::string::npos) << progress.back();
    }
}

} // namespace
} // namespace lumacore::cli::test
