// `render --transparent` run as a user would: the picture with its background transparent is,
// laid over black, the plain picture exactly; its videos decode with an alpha plane that leaves
// as much transparent; outputs that cannot carry transparency are refused in one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "audio_test_support.h"
#include "png_reader.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;
using lumacore::test::DecodedPng;
using lumacore::test::decodePng;
using namespace std::string_literals;

constexpr const char* kSize = "320x180";
// The 2D bands draw from 224 rows up: in fewer they are one row tall, and such rectangles cover
// nothing.
constexpr const char* kBands = "640x360";
constexpr const char* kAt = "5"; // after the banner's first tick: its glyphs are drawn
constexpr const char* kFps = "20";
constexpr int kFrameAtAt = 100; // the video frame shown at kAt seconds, at kFps

class RenderTransparency : public ::testing::Test {
  protected:
    fs::path folder_ =
        fs::temp_directory_path() / ("lumacore-transparency-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(folder_); }
    void TearDown() override { fs::remove_all(folder_); }

    std::optional<DecodedPng> png(const std::string& name) const {
        return decodePng(fileBytes(folder_ / name));
    }
    ProgramRun render(std::vector<std::string> args, const std::string& output) const {
        if (std::find(args.begin(), args.end(), "--size") == args.end())
            args.insert(args.begin(), {"--size", kSize});
        args.insert(args.begin(), {"render", "-q"});
        args.insert(args.end(), {"-o", output});
        return runLumacore(args, folder_);
    }
};

// The share of a picture's pixels whose alpha is below half.
double transparentShare(const DecodedPng& picture) {
    if (picture.alpha.empty()) return 0;
    std::size_t clear = 0;
    for (const std::uint8_t a : picture.alpha)
        clear += a < 128;
    return static_cast<double>(clear) / picture.alpha.size();
}

// Empty when `layer`, laid over black with the rasteriser's rounding, is `plain` exactly;
// otherwise the first pixel that differs.
std::string overBlackIs(const DecodedPng& layer, const DecodedPng& plain) {
    if (layer.width != plain.width || layer.height != plain.height || layer.alpha.empty())
        return "not the same size, or no alpha channel";
    for (std::size_t i = 0; i < plain.rgb.size(); ++i) {
        const int shown = (layer.rgb[i] * layer.alpha[i / 3] + 127) / 255;
        if (shown != plain.rgb[i])
            return "pixel " + std::to_string(i / 3) + " channel " + std::to_string(i % 3) + ": " +
                   std::to_string(shown) + " over black, " + std::to_string(plain.rgb[i]) +
                   " plain";
    }
    return "";
}

TEST_F(RenderTransparency, OverBlackItIsThePlainPictureAndItsVideosCarryTheSameAlpha) {
    struct Case {
        const char* name;
        std::vector<std::string> display;
        double minShare, maxShare; // of the still left transparent
        bool videos;               // also rendered to WebM and MOV
    };
    // The scopes paint their window grey, which stays opaque: only the history's ground is
    // black.
    const Case cases[] = {
        {"history 2d", {"--module", "history", "--mode", "2d", "--size", kBands}, 0.3, 0.999, true},
        {"history 3d", {"--module", "history", "--mode", "3d"}, 0.3, 0.999, true},
        {"oscilloscope", {"--module", "scope"}, 0, 0, false},
        {"vu meter", {"--module", "vu"}, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The same calls for the still as for the videos: the call rate follows the frame rate.
        std::vector<std::string> still = c.display;
        still.insert(still.end(), {"--fps", kFps, "--at", kAt});
        ASSERT_EQ(render(still, "plain.png").exitCode, 0);
        std::vector<std::string> layered = still;
        layered.push_back("--transparent");
        const ProgramRun run = render(layered, "layer.png");
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        const auto plain = png("plain.png");
        const auto layer = png("layer.png");
        ASSERT_TRUE(plain && layer);
        EXPECT_EQ(layer->colourType, 6) << "not RGBA";
        EXPECT_EQ(overBlackIs(*layer, *plain), "");
        const double share = transparentShare(*layer);
        EXPECT_GE(share, c.minShare);
        EXPECT_LE(share, c.maxShare);
        if (c.minShare > 0) {
            // The banner's glyphs fade into the transparency at their edges.
            const std::size_t bannerTop = layer->alpha.size() * 91 / 100;
            bool edges = false;
            for (std::size_t i = bannerTop; i < layer->alpha.size(); ++i)
                edges = edges || (layer->alpha[i] > 0 && layer->alpha[i] < 255);
            EXPECT_TRUE(edges) << "no glyph edge in the banner's strip";
        }
        if (!c.videos || !haveFfmpegTool()) continue;

        // The videos' frame at the same moment: its alpha plane leaves as much transparent.
        struct Video {
            const char* output;
            std::vector<std::string> decoder; // FFmpeg's own VP9 decoder drops the alpha
        };
        const Video videos[] = {{"layer.webm", {"-c:v", "libvpx-vp9"}}, {"layer.mov", {}}};
        for (const Video& video : videos) {
            SCOPED_TRACE(video.output);
            std::vector<std::string> args = c.display;
            args.insert(args.end(), {"--fps", kFps, "--duration", "6", "--transparent"});
            const ProgramRun made = render(args, video.output);
            ASSERT_EQ(made.exitCode, 0) << made.errors;
            std::vector<std::string> decode = video.decoder;
            decode.insert(decode.end(),
                          {"-i", (folder_ / video.output).string(), "-vf",
                           "select=eq(n\\," + std::to_string(kFrameAtAt) + ")", "-frames:v", "1",
                           "-pix_fmt", "rgba", (folder_ / "frame.png").string()});
            ASSERT_TRUE(runFfmpegTool(decode));
            const auto frame = png("frame.png");
            ASSERT_TRUE(frame);
            EXPECT_NEAR(transparentShare(*frame), share, 0.02);
        }
    }
}

TEST_F(RenderTransparency, OutputsWithoutAnAlphaChannelAreRefused) {
    const std::string said = "lumacore: --transparent needs an output that carries "
                             "transparency: .png, a PNG sequence's folder, .webm or .mov\n";
    for (const std::string output : {"clip.mp4", "clip.mkv", "-"}) {
        SCOPED_TRACE(output);
        const ProgramRun run = render({"--transparent", "--duration", "1"}, output);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errors, said);
        EXPECT_FALSE(fs::exists(folder_ / output));
    }
    // A PNG sequence carries it in every frame.
    const ProgramRun run = render({"--transparent", "--duration", "0.1", "--fps", "20"}, "frames/");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto first = png("frames/frame-000001.png");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->colourType, 6);
}

// `--background`: where the display left its ground the picture behind shows exactly, where it
// drew solid its own pixels show, and a 2D band lets the picture through as much as it is dark;
// the cover art of the input is that picture, and without one, or with one that cannot be
// decoded, the plain picture is drawn after one line; a picture file that cannot be read is one
// line and no output.
TEST_F(RenderTransparency, APictureBehindShowsWhereTheDisplayLeftItsGround) {
    if (!haveFfmpegTool()) GTEST_SKIP() << "the ffmpeg program is not installed";
    const std::string flat = (folder_ / "flat.png").string();
    const std::string white = (folder_ / "white.png").string();
    const std::string withCover = (folder_ / "covered.mp3").string();
    const std::string bare = (folder_ / "bare.mp3").string();
    ASSERT_TRUE(
        runFfmpegTool({"-f", "lavfi", "-i", "color=c=0x3060c0:s=40x30", "-frames:v", "1", flat}));
    ASSERT_TRUE(
        runFfmpegTool({"-f", "lavfi", "-i", "color=c=white:s=40x30", "-frames:v", "1", white}));
    ASSERT_TRUE(encodeWithPictures(withCover, "libmp3lame", {{flat, "Cover (front)"}}));
    ASSERT_TRUE(encodeWithPictures(bare, "libmp3lame", {}));
    // The same song, its cover claiming 12000 x 12000 pixels: beyond what is decoded.
    const std::string hugeCover = (folder_ / "huge-cover.mp3").string();
    std::string song = fileBytes(withCover);
    const std::size_t header = song.find("IHDR");
    ASSERT_NE(header, std::string::npos);
    song.replace(header + 4, 8, std::string("\0\0\x2E\xE0\0\0\x2E\xE0", 8));
    std::ofstream(hugeCover, std::ios::binary) << song;
    // The colours as the files hold them (FFmpeg's colour source rounds on its way to RGB).
    const auto flatPicture = png("flat.png");
    const auto whitePicture = png("white.png");
    ASSERT_TRUE(flatPicture && whitePicture);

    struct Case {
        const char* name;
        std::string input, background;
        const char* mode;
        const DecodedPng* behind; // the picture that shows where the display left its ground
        std::string said;         // standard error
        int exitCode;
    };
    const Case cases[] = {
        {"a picture file", bare, flat, "3d", &*flatPicture, "", 0},
        {"the input's cover art", withCover, "cover", "3d", &*flatPicture, "", 0},
        {"an input without cover art", bare, "cover", "3d", nullptr,
         "lumacore: no cover art in '" + bare + "': the background is black\n", 0},
        {"an input whose cover art cannot be decoded: black, and the song", hugeCover, "cover",
         "3d", nullptr,
         "lumacore: cannot read the cover art of '" + hugeCover +
             "': the picture is 12000x12000 pixels, more than 67108864 in all: the background is "
             "black\n",
         0},
        {"a missing picture", bare, "nowhere.png", "3d", nullptr,
         "lumacore: cannot read the background 'nowhere.png': no such file\n", 1},
        {"2d over white", bare, white, "2d", &*whitePicture, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(folder_ / "behind.png");
        const std::vector<std::string> args = {
            c.input, "--mode", c.mode, "--at", "0.9", "--size", c.mode == "2d"s ? kBands : kSize};
        ASSERT_EQ(render(args, "plain.png").exitCode, 0);
        std::vector<std::string> layered = args;
        layered.push_back("--transparent");
        ASSERT_EQ(render(layered, "layer.png").exitCode, 0);
        std::vector<std::string> over = args;
        over.insert(over.end(), {"--background", c.background});
        const ProgramRun run = render(over, "behind.png");
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.errors, c.said);
        if (c.exitCode != 0) {
            EXPECT_FALSE(fs::exists(folder_ / "behind.png"));
            continue;
        }
        const auto plain = png("plain.png");
        const auto layer = png("layer.png");
        const auto behind = png("behind.png");
        ASSERT_TRUE(plain && layer && behind);
        ASSERT_EQ(behind->rgb.size(), plain->rgb.size());
        // Above the banner's strip, whose glyph edges are as see-through as their coverage.
        const std::size_t historyEnd = plain->rgb.size() * 91 / 100;
        int ground = 0, drawn = 0, quiet = 0;
        for (std::size_t i = 0; i < plain->rgb.size(); ++i) {
            const std::uint8_t a = layer->alpha[i / 3];
            if (a == 0 && c.behind) {
                ++ground;
                ASSERT_EQ(behind->rgb[i], c.behind->rgb[i % 3]) << "ground pixel " << i / 3;
            } else if (a == 255 || !c.behind) {
                ++drawn;
                ASSERT_EQ(behind->rgb[i], plain->rgb[i]) << "drawn pixel " << i / 3;
            } else if (i < historyEnd) {
                // A band as opaque as its brightest channel: the picture behind shows through
                // it, changed by no more than that brightness.
                const std::uint8_t* pixel = &plain->rgb[i - i % 3];
                const int brightest = std::max({pixel[0], pixel[1], pixel[2]});
                quiet += brightest <= 16;
                ASSERT_LE(std::abs(behind->rgb[i] - c.behind->rgb[i % 3]), brightest)
                    << "band pixel " << i / 3;
            }
        }
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(ground > 0, c.behind != nullptr);
        // Only a 2D band lets the picture through in part; a quiet one over white is nearly white.
        EXPECT_EQ(quiet > 0, c.mode == "2d"s);
    }
}

} // namespace
} // namespace lumacore::cli::test
