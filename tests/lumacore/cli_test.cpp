// The `lumacore` program as a user meets it: what it writes for good commands, and for bad ones
// a one-line message naming the problem, a non-zero exit and nothing left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "program_support.h"

namespace fs = std::filesystem;
using lumacore::cli::test::quoted;

namespace {

struct Result {
    int exitCode = -1;
    std::string errors; // standard error
};

Result lumacore(const std::vector<std::string>& args, const fs::path& folder) {
    std::string command = "cd " + quoted(folder.string()) + " && " + quoted(LUMACORE_PROGRAM);
    for (const std::string& a : args)
        command += " " + quoted(a);
    command += " 2>&1 >/dev/null";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 512> buffer{};
    while (fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        result.errors += buffer.data();
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class LumacoreProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("lumacore-cli-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder_ / "locked", fs::perms::owner_all, ignored);
        fs::remove_all(folder_, ignored);
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
    }
    // The folder's entries, so that a failed run can be shown to leave nothing behind.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(folder_))
            names.push_back(fs::relative(e.path(), folder_).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder_;
};

TEST_F(LumacoreProgram, BadCommandsFailWithOneLineNamingTheProblem) {
    write("notes.txt", "these are not sounds\n");
    write("empty.wav", "");
    write("junk.mp3", std::string(4096, '\x5a'));
    write("half.wav", std::string("RIFF\x24\x80\x00\x00WAVEfmt ", 16));
    fs::create_directories(folder_ / "a-folder.flac");
    write("keep.mp4", "an earlier render");
    const struct {
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {{"render", "missing.flac", "-o", "out.mp4"}, "missing.flac"},
        {{"render", "a-folder.flac", "-o", "out.mp4"}, "a-folder.flac"},
        {{"render", "notes.txt", "-o", "out.mp4"}, "notes.txt"},
        {{"render", "empty.wav", "-o", "out.mp4"}, "empty.wav"},
        {{"render", "junk.mp3", "-o", "out.mp4"}, "junk.mp3"},
        {{"render", "half.wav", "-o", "out.mp4"}, "half.wav"},
        {{"render", "-o", "out.gif"}, "unknown output type"},
        {{"render", "-o", "out.txt"}, "unknown output type"},
        {{"render", "--size", "0x0", "-o", "out.png"}, "size"},
        {{"render", "--size", "-5x100", "-o", "out.png"}, "size"},
        {{"render", "--size", "16385x100", "-o", "out.png"}, "size"},
        {{"render", "--size", "wide", "-o", "out.png"}, "--size"},
        {{"render", "-o", "no/such/folder/out.mp4"}, "no/such/folder"},
        {{"render", "-o", "keep.mp4/inside.mp4"}, "keep.mp4"},
        {{"render", "--brightness", "3", "-o", "out.png"}, "--brightness"},
        {{"render", "--fps", "0", "-o", "out.png"}, "--fps"},
        {{"render", "--quality", "superb", "-o", "out.mp4"}, "--quality"},
        {{"render", "--frames", "notes.txt", "-o", "out.png"}, "notes.txt"},
        {{"analyse", "missing.ogg", "-o", "out.lmf"}, "missing.ogg"},
        // The first process: every application descends from it.
        {{"listen", "--app", "1"}, "started lumacore"},
        {{"listen", "--sound-api", "jack"}, "--sound-api"},
        // What --fifo reads, and how.
        {{"listen", "--fifo", "missing.fifo"}, "missing.fifo"},
        {{"listen", "--fifo", "a-folder.flac"}, "neither a named pipe (FIFO) nor a regular file"},
        {{"listen", "--fifo", "/dev/null"}, "neither a named pipe (FIFO) nor a regular file"},
        {{"listen", "--fifo", "notes.txt", "--fifo-format", "44100:12:2"}, "bits"},
        {{"listen", "--fifo", "notes.txt", "--fifo-format", "2000000:16:2"}, "rate"},
        {{"listen", "--fifo", "notes.txt", "--fifo-format", "44100:16:0"}, "channels"},
        {{"listen", "--fifo", "notes.txt", "--fifo-format", "stereo"}, "RATE:BITS:CHANNELS"},
        {{"listen", "--fifo", "notes.txt", "--source", "x.monitor"}, "--fifo is what to record"},
        // The wallpaper fills its monitors; a monitor is chosen only for it.
        {{"play", "--monitor", "HDMI-1"}, "--monitor is for --wallpaper"},
        {{"listen", "--wallpaper", "--fullscreen"}, "--fullscreen is for a window"},
        {{"play", "--wallpaper", "--size", "640x480"}, "--size is for a window"},
    };
    const std::vector<std::string> before = entries();
    for (const auto& c : cases) {
        const Result r = lumacore(c.args, folder_);
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        EXPECT_NE(r.exitCode, 0) << shown;
        EXPECT_NE(r.errors.find(c.mentions), std::string::npos) << shown << "-> " << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1)
            << shown << "-> " << r.errors;
        EXPECT_EQ(entries(), before) << shown << " left something behind";
    }
    std::ifstream kept(folder_ / "keep.mp4");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "an earlier render");
}

TEST_F(LumacoreProgram, RendersStillsSequencesRawFramesAndFramesFiles) {
    // A still of each display, the history in both modes.
    const struct {
        std::vector<std::string> args;
        std::uintmax_t minimumBytes;
    } stills[] = {
        {{"render", "-q", "--at", "6", "--size", "320x180", "-o", "h3d.png"}, 1000},
        {{"render", "-q", "--at", "6", "--mode", "2d", "--size", "320x180", "-o", "h2d.png"}, 1000},
        {{"render", "-q", "--at", "6", "--module", "scope", "-o", "scope.png"}, 1000},
        {{"render", "-q", "--at", "6", "--module", "vu", "--scale", "2", "-o", "vu.png"}, 1000},
    };
    for (const auto& s : stills) {
        const Result r = lumacore(s.args, folder_);
        ASSERT_EQ(r.exitCode, 0) << r.errors;
        EXPECT_GE(fs::file_size(folder_ / s.args.back()), s.minimumBytes);
    }
    // Raw frames: width x height x 4 bytes each, 10 fps for 1.5 s.
    const std::string raw = (folder_ / "frames.rgba").string();
    const std::string command =
        "cd " + quoted(folder_.string()) + " && " + quoted(LUMACORE_PROGRAM) +
        " render -q --size 64x36 --fps 10 --duration 1.5 -o - > " + quoted(raw);
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(fs::file_size(raw), 64u * 36 * 4 * 15);

    // A PNG sequence into a new folder.
    ASSERT_EQ(lumacore({"render", "-q", "--size", "48x32", "--fps", "4", "--duration", "2", "-o",
                        "sequence/"},
                       folder_)
                  .exitCode,
              0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "sequence"), fs::directory_iterator{}),
              8);

    // The frames file of the demo tune renders like the tune itself.
    ASSERT_EQ(lumacore({"analyse", "-o", "demo.lmf", "--rate", "30"}, folder_).exitCode, 0);
    ASSERT_EQ(lumacore({"render", "-q", "--frames", "demo.lmf", "--size", "64x36", "--fps", "30",
                        "--at", "5", "--title", "same", "-o", "from-frames.png"},
                       folder_)
                  .exitCode,
              0);
    ASSERT_EQ(lumacore({"render", "-q", "--size", "64x36", "--fps", "30", "--at", "5", "--title",
                        "same", "-o", "from-sound.png"},
                       folder_)
                  .exitCode,
              0);
    std::ifstream a(folder_ / "from-frames.png", std::ios::binary),
        b(folder_ / "from-sound.png", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
              std::string(std::istreambuf_iterator<char>(b), {}));
}

TEST_F(LumacoreProgram, VideoCarriesTheSound) {
    const Result r = lumacore({"render", "-q", "--size", "160x90", "--fps", "25", "--start", "3",
                               "--duration", "2", "-o", "clip.mp4"},
                              folder_);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string probe =
        "ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 " +
        quoted((folder_ / "clip.mp4").string());
    FILE* pipe = popen(probe.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string streams;
    std::array<char, 256> line{};
    while (fgets(line.data(), line.size(), pipe) != nullptr)
        streams += line.data();
    pclose(pipe);
    EXPECT_NE(streams.find("h264,video"), std::string::npos) << streams;
    EXPECT_NE(streams.find("aac,audio"), std::string::npos) << streams;
}

} // namespace
