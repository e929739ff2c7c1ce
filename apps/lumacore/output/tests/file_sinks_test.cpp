// Tests of the sinks chosen by output name, the PNG still and sequence, raw frames and the null
// sink, the errors for unusable outputs, and that no render leaves a partial or temporary file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/frame_sink.h"
#include "output/sinks.h"
#include "png_reader.h"
#include "test_support.h"

namespace lumacore::cli {
namespace {

using testing_support::bytesOf;
using testing_support::readFile;
using testing_support::ScratchFolder;
using testing_support::testPicture;
using testing_support::writeFile;

SinkOptions pictureOptions(int width, int height) {
    SinkOptions options;
    options.width = width;
    options.height = height;
    options.fpsNumerator = 30;
    return options;
}

// The file's PNG, or an empty picture when it does not decode.
test::DecodedPng decodePng(const std::string& bytes) {
    return test::decodePng(bytes).value_or(test::DecodedPng{});
}

// Points standard output at a file for as long as it lives.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::string& path) {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutToFile() {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

  private:
    int saved_;
};

TEST(PngStill, DecodesToThePicturesColoursAndKeepsOnlyTheFirst) {
    ScratchFolder folder;
    for (auto [width, height] : {std::pair{1, 1}, {7, 5}, {64, 3}}) {
        const std::string path = folder / ("still-" + std::to_string(width) + ".png");
        const auto first = testPicture(width, height, 1);
        auto sink = openSink(path, pictureOptions(width, height));
        sink->write(first);
        sink->write(testPicture(width, height, 2));
        sink->finish();

        const test::DecodedPng png = decodePng(readFile(path));
        EXPECT_EQ(png.width, width);
        EXPECT_EQ(png.height, height);
        EXPECT_EQ(png.colourType, 2) << "stills are opaque";
        EXPECT_EQ(png.rgb, bytesOf(first, false)) << width << "x" << height;
    }
    EXPECT_EQ(folder.names(),
              (std::set<std::string>{"still-1.png", "still-7.png", "still-64.png"}));
}

TEST(PngSequence, NumbersFramesFromOneInANewFolder) {
    ScratchFolder folder;
    for (const std::string name : {"made/", "named.png/"}) {
        auto sink = openSink(folder / name, pictureOptions(6, 4));
        for (int i = 0; i < 3; ++i)
            sink->write(testPicture(6, 4, i));
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << "appears only when finished";
        sink->finish();
        const std::string made = name.substr(0, name.size() - 1);
        EXPECT_EQ(folder.names(made), (std::set<std::string>{"frame-000001.png", "frame-000002.png",
                                                             "frame-000003.png"}));
        for (int i = 0; i < 3; ++i) {
            const std::string file =
                folder / (made + "/frame-00000" + std::to_string(i + 1) + ".png");
            EXPECT_EQ(decodePng(readFile(file)).rgb, bytesOf(testPicture(6, 4, i), false)) << file;
        }
    }
    EXPECT_EQ(folder.names(), (std::set<std::string>{"made", "named.png"}));
}

TEST(PngSequence, ReplacesAnEarlierSequenceAndKeepsOtherFiles) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "frames");
    for (int i = 1; i <= 5; ++i)
        writeFile(folder / ("frames/frame-00000" + std::to_string(i) + ".png"), "old");
    writeFile(folder / "frames/notes.txt", "mine");
    writeFile(folder / "frames/frame-9.png", "not of the pattern");

    auto sink = openSink(folder / "frames", pictureOptions(3, 2));
    sink->write(testPicture(3, 2, 7));
    sink->write(testPicture(3, 2, 8));
    EXPECT_EQ(readFile(folder / "frames/frame-000001.png"), "old") << "untouched until finish";
    sink->finish();

    EXPECT_EQ(folder.names("frames"), (std::set<std::string>{"frame-000001.png", "frame-000002.png",
                                                             "frame-9.png", "notes.txt"}));
    EXPECT_EQ(decodePng(readFile(folder / "frames/frame-000002.png")).rgb,
              bytesOf(testPicture(3, 2, 8), false));
    EXPECT_EQ(readFile(folder / "frames/notes.txt"), "mine");
}

TEST(RawSink, WritesEveryPictureAsRgbaBytes) {
    ScratchFolder folder;
    const std::string captured = folder / "stdout";
    std::string expected;
    {
        StdoutToFile redirect(captured);
        auto sink = openSink("-", pictureOptions(5, 3));
        for (int i = 0; i < 4; ++i) {
            const auto picture = testPicture(5, 3, i);
            sink->write(picture);
            const auto bytes = bytesOf(picture, true);
            expected.append(bytes.begin(), bytes.end());
        }
        sink->finish();
    }
    const std::string bytes = readFile(captured);
    EXPECT_EQ(bytes.size(), 4u * 5 * 3 * 4);
    EXPECT_EQ(bytes, expected);
}

TEST(RawSink, RefusesATerminal) {
    int controller = -1, terminal = -1;
    if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    EXPECT_THROW(openRawSink(terminal, pictureOptions(4, 4)), OutputError);
    ::close(controller);
    ::close(terminal);
}

TEST(NullSink, CountsAndDiscards) {
    ScratchFolder folder;
    auto sink = openSink("null", pictureOptions(4, 4));
    const auto picture = testPicture(4, 4);
    for (int i = 0; i < 9; ++i)
        sink->write(picture);
    sink->finish();
    ASSERT_NE(dynamic_cast<NullSink*>(sink.get()), nullptr);
    EXPECT_EQ(dynamic_cast<NullSink*>(sink.get())->frames(), 9);
    EXPECT_TRUE(folder.names().empty());
}

struct OpenError {
    const char* what;
    // Prepares the folder and returns the output name to open.
    std::function<std::string(ScratchFolder&)> output;
    std::function<std::string(ScratchFolder&)> message; // expected within the error
    SinkOptions options = pictureOptions(8, 8);
};

TEST(OpenSink, RejectsUnusableOutputsWithOneLineAndLeavesNothing) {
    const auto name = [](std::string n) { return [n](ScratchFolder& f) { return f / n; }; };
    const auto text = [](std::string t) { return [t](ScratchFolder&) { return t; }; };
    const auto blocker = [](std::string rest) {
        return [rest](ScratchFolder& f) {
            writeFile(f / "blocker", "a file");
            return f / ("blocker" + rest);
        };
    };
    SinkOptions noFrameRate = pictureOptions(8, 8);
    noFrameRate.fpsDenominator = 0;
    const std::vector<OpenError> cases = {
        {"gif", name("clip.gif"),
         text("unknown output type '.gif': use .mp4, .mkv, .webm, .mov, "
              ".png, a directory, - or null")},
        {"text", name("notes.TXT"), text("unknown output type '.txt'")},
        {"no extension", name("clip"), text("unknown output type '")},
        {"missing folder, video", name("missing/clip.mp4"),
         [](ScratchFolder& f) { return "folder '" + f / "missing" + "' does not exist"; }},
        {"missing folder, still", name("missing/a.png"), text("does not exist")},
        {"missing parent, sequence", name("missing/frames/"), text("does not exist")},
        {"file in the way, video", blocker("/clip.webm"),
         [](ScratchFolder& f) { return "'" + f / "blocker" + "' is not a folder"; }},
        {"file in the way, still", blocker("/a.png"), text("is not a folder")},
        {"file as the sequence folder", blocker("/"), text("it is a file, not a folder")},
        {"no picture size", name("a.png"), text("picture size 0x8 is out of range"),
         [] {
             SinkOptions o = pictureOptions(0, 8);
             return o;
         }()},
        {"zero frame rate", name("clip.mkv"), text("frame rate 30/0 is not positive"), noFrameRate},
    };
    for (const OpenError& c : cases) {
        ScratchFolder folder;
        const std::string output = c.output(folder);
        const auto before = folder.names();
        try {
            openSink(output, c.options);
            ADD_FAILURE() << c.what << ": opened";
        } catch (const OutputError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(c.message(folder)), std::string::npos)
                << c.what << ": " << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << c.what;
        }
        EXPECT_EQ(folder.names(), before) << c.what << ": left something behind";
    }
}

TEST(OpenSink, RejectsAReadOnlyFolder) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "locked");
    ::chmod((folder / "locked").c_str(), 0555);
    if (::access((folder / "locked").c_str(), W_OK) == 0)
        GTEST_SKIP() << "permission bits do not stop this user (root): nothing to test";
    for (const std::string output : {"locked/a.mp4", "locked/a.png", "locked/", "locked/sub/"}) {
        try {
            openSink(folder / output, pictureOptions(8, 8));
            ADD_FAILURE() << output << ": opened";
        } catch (const OutputError& error) {
            EXPECT_NE(std::string(error.what()).find("Permission denied"), std::string::npos)
                << output << ": " << error.what();
        }
    }
    EXPECT_TRUE(folder.names("locked").empty());
}

// An existing target keeps its bytes when a render is abandoned or its finish fails, and a
// finished render replaces it; either way only the target is left in the folder.
TEST(OpenSink, ReplacesAnExistingTargetOnlyWhenFinished) {
    for (const std::string target : {"out.png", "out.mp4", "out.mkv", "out.webm", "frames"}) {
        ScratchFolder folder;
        const bool sequence = target == "frames";
        const std::string oldFile = sequence ? "frames/frame-000001.png" : target;
        if (sequence) std::filesystem::create_directory(folder / "frames");
        writeFile(folder / oldFile, "earlier render");
        const auto before = folder.names();
        const SinkOptions options = pictureOptions(16, 16);
        {
            auto abandoned = openSink(folder / target, options);
            abandoned->write(testPicture(16, 16));
            abandoned->write(testPicture(16, 16, 1));
        }
        EXPECT_EQ(readFile(folder / oldFile), "earlier render") << target;
        EXPECT_EQ(folder.names(), before) << target << ": temporary file left";
        if (sequence) {
            EXPECT_EQ(folder.names("frames").size(), 1u);
        }

        {
            auto empty = openSink(folder / target, options);
            EXPECT_THROW(empty->finish(), OutputError) << target << ": finished with no picture";
        }
        EXPECT_EQ(readFile(folder / oldFile), "earlier render") << target;
        EXPECT_EQ(folder.names(), before) << target;

        auto finished = openSink(folder / target, options);
        finished->write(testPicture(16, 16));
        finished->finish();
        EXPECT_NE(readFile(folder / oldFile), "earlier render") << target;
        EXPECT_EQ(folder.names(), before) << target;
    }
}

TEST(OpenSink, ChoosesByExtensionWhateverItsCase) {
    ScratchFolder folder;
    for (const std::string name : {"A.PNG", "b.Mp4", "c.MKV", "d.WebM"}) {
        auto sink = openSink(folder / name, pictureOptions(4, 4));
        sink->write(testPicture(4, 4));
        sink->finish();
        EXPECT_TRUE(std::filesystem::is_regular_file(folder / name)) << name;
    }
    EXPECT_EQ(folder.names().size(), 4u);
}

} // namespace
} // namespace lumacore::cli
