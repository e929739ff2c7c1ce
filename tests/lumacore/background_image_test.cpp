// Backgrounds read from picture files and from the cover art of sound files, made at test time
// (PNG by the renderer's own encoder, the rest by the ffmpeg tool, skipped without it): a flat
// colour covers the whole picture, a split picture lands where cover scaling puts it (scaled by
// the larger ratio, centred, cropped), the front cover wins, and every bad input is one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "background/background_image.h"
#include "output/sinks.h"

namespace lumacore::cli::test {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Writes `picture` to `path`: a PNG by encodePng, other kinds converted from one by the tool.
void writePicture(const std::string& path, const Bitmap& picture) {
    const std::vector<std::uint8_t> png = encodePng(picture, 1);
    const std::string bytes(png.begin(), png.end());
    if (path.ends_with(".png")) return writeBytes(path, bytes);
    const std::string source = path + ".source.png";
    writeBytes(source, bytes);
    ASSERT_TRUE(runFfmpegTool({"-i", source, "-q:v", "2", path}))
        << "ffmpeg could not make " << path;
}

Bitmap flat(int width, int height, std::uint32_t colour) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        std::fill_n(picture.row(y), width, colour);
    return picture;
}

// Red above and left of (splitX, splitY), blue above and right, green below and left, white
// below and right.
std::uint32_t quadrantColour(double x, double y, double splitX, double splitY) {
    if (y < splitY) return x < splitX ? kRed : kBlue;
    return x < splitX ? kGreen : kWhite;
}

Bitmap quadrants(int width, int height, int splitX, int splitY) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.row(y)[x] = quadrantColour(x, y, splitX, splitY);
    return picture;
}

// Whether red, green, blue and the alpha byte (0 in a background) each lie within `tolerance` of
// the expected value.
bool near(std::uint32_t pixel, std::uint32_t expected, int tolerance) {
    for (int shift : {0, 8, 16, 24})
        if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) -
                     static_cast<int>((expected >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

// The first pixel of `picture` farther than `tolerance` from `colour`, as "x,y: 0xRRGGBB".
std::string firstOffColour(const Bitmap& picture, std::uint32_t colour, int tolerance) {
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (!near(picture.row(y)[x], colour, tolerance)) {
                char text[64];
                std::snprintf(text, sizeof text, "%d,%d: 0x%08X", x, y, picture.row(y)[x]);
                return text;
            }
    return "";
}

bool needsTool(const std::string& path) {
    return !path.ends_with(".png");
}

struct FlatRow {
    const char* name;
    const char* file;
    int sourceWidth, sourceHeight;
    int width, height;
    std::uint32_t colour;
    int tolerance; // JPEG keeps colours only closely
};

class FlatBackgroundTest : public ::testing::TestWithParam<FlatRow> {};

TEST_P(FlatBackgroundTest, CoversThePictureWithTheColour) {
    const FlatRow row = GetParam();
    if (needsTool(row.file) && !haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool";
    ScratchDir dir;
    const std::string path = dir.file(row.file);
    writePicture(path, flat(row.sourceWidth, row.sourceHeight, row.colour));

    const Bitmap background = loadBackgroundImage(path, row.width, row.height);
    EXPECT_EQ(background.width(), row.width);
    EXPECT_EQ(background.height(), row.height);
    EXPECT_EQ(firstOffColour(background, row.colour, row.tolerance), "")
        << "expected 0x" << std::hex << row.colour << " everywhere";
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, FlatBackgroundTest,
    ::testing::Values(FlatRow{"PngWiderThanThePicture", "wide.png", 40, 20, 64, 64, 0x3C78B4, 0},
                      FlatRow{"PngOfOnePixel", "dot.png", 1, 1, 33, 17, 0x7F8081, 0},
                      FlatRow{"JpegTallerThanThePicture", "tall.jpg", 16, 48, 90, 30, 0xC89632, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FlatBackground, ShowsATransparentPictureOverBlack) {
    if (!haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool";
    ScratchDir dir;
    const std::string path = dir.file("half.png");
    ASSERT_TRUE(runFfmpegTool(
        {"-f", "lavfi", "-i", "color=c=0x40C080@0.5:s=32x16,format=rgba", "-frames:v", "1", path}));
    // 0x40, 0xC0, 0x80 at alpha 128 (of 255): 0x20, 0x60, 0x40, to within the alpha's rounding.
    EXPECT_EQ(firstOffColour(loadBackgroundImage(path, 24, 24), 0x206040, 1), "");
}

struct CoverRow {
    const char* name;
    const char* file;
    int sourceWidth, sourceHeight;
    int splitX, splitY; // where the quadrants meet in the source
    int width, height;
    double blur; // source pixels around an edge the file's encoding may smear
    int tolerance;
};

class CoverGeometryTest : public ::testing::TestWithParam<CoverRow> {};

// Every pixel farther from the predicted edges than the scaling filter and the crop's rounding
// reach has its quadrant's colour: scale s = max(width / w, height / h), the scaled picture's
// overflow cut equally from both sides.
TEST_P(CoverGeometryTest, CentresAndCropsAsCoverScalingDoes) {
    const CoverRow row = GetParam();
    if (needsTool(row.file) && !haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool";
    ScratchDir dir;
    const std::string path = dir.file(row.file);
    writePicture(path, quadrants(row.sourceWidth, row.sourceHeight, row.splitX, row.splitY));
    const Bitmap background = loadBackgroundImage(path, row.width, row.height);
    ASSERT_EQ(background.width(), row.width);
    ASSERT_EQ(background.height(), row.height);

    const double scale = std::max(static_cast<double>(row.width) / row.sourceWidth,
                                  static_cast<double>(row.height) / row.sourceHeight);
    const double edgeX = row.splitX * scale - (row.sourceWidth * scale - row.width) / 2;
    const double edgeY = row.splitY * scale - (row.sourceHeight * scale - row.height) / 2;
    // Bicubic reaches two source pixels; the crop may be one source pixel off. Only edges inside
    // the source are edges.
    const double margin = (3 + row.blur) * std::max(scale, 1.0) + 1;
    const auto nearEdge = [margin](double at, double edge, int split, int size) {
        return split > 0 && split < size && std::abs(at - edge) < margin;
    };
    std::set<std::uint32_t> seen, expectedSeen;
    for (int y = 0; y < row.height; ++y)
        for (int x = 0; x < row.width; ++x) {
            const double centreX = x + 0.5, centreY = y + 0.5;
            const std::uint32_t expected = quadrantColour(centreX, centreY, edgeX, edgeY);
            expectedSeen.insert(expected);
            if (nearEdge(centreX, edgeX, row.splitX, row.sourceWidth) ||
                nearEdge(centreY, edgeY, row.splitY, row.sourceHeight))
                continue;
            ASSERT_TRUE(near(background.row(y)[x], expected, row.tolerance))
                << "at " << x << "," << y << ": 0x" << std::hex << background.row(y)[x]
                << " instead of 0x" << expected << std::dec << " (edges at " << edgeX << ", "
                << edgeY << ")";
            seen.insert(expected);
        }
    EXPECT_EQ(seen, expectedSeen) << "a quadrant lay wholly within the margin: nothing checked";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CoverGeometryTest,
    ::testing::Values(
        // Left half red, right half blue: the line between them down the middle.
        CoverRow{"HalvesToASquare", "halves.png", 64, 32, 32, 32, 48, 48, 0, 0},
        CoverRow{"HalvesEnlargedToAWidePicture", "halves.png", 8, 8, 4, 8, 160, 90, 0, 0},
        CoverRow{"HalvesAsJpeg", "halves.jpg", 256, 128, 128, 128, 90, 90, 8, 12},
        // Edges off the centre, so that a shifted or stretched crop shows.
        CoverRow{"WideQuadrantsToALessWidePicture", "wide.png", 180, 60, 70, 20, 90, 60, 0, 0},
        CoverRow{"TallQuadrantsToAWidePicture", "tall.png", 60, 180, 20, 100, 64, 36, 0, 0},
        CoverRow{"QuadrantsShrunk", "shrunk.png", 400, 100, 220, 40, 50, 50, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct CoverPicture {
    const char* file;
    std::uint32_t colour; // flat
    const char* type;     // as the container marks it; empty for its default
};

struct CoverArtRow {
    const char* name;
    const char* file;
    const char* encoder;
    std::vector<CoverPicture> pictures;
    std::optional<std::uint32_t> expected; // the cover's colour; nullopt: no cover
    int tolerance;
};

class CoverArtTest : public ::testing::TestWithParam<CoverArtRow> {};

TEST_P(CoverArtTest, GivesTheCoverOrNothing) {
    const CoverArtRow& row = GetParam();
    if (!haveFfmpegTool() || !haveEncoder(row.encoder)) GTEST_SKIP() << "no " << row.encoder;
    ScratchDir dir;
    std::vector<AttachedPicture> pictures;
    for (const CoverPicture& picture : row.pictures) {
        pictures.push_back({dir.file(picture.file), picture.type});
        writePicture(pictures.back().path, flat(24, 18, picture.colour));
    }
    const std::string song = dir.file(row.file);
    ASSERT_TRUE(encodeWithPictures(song, row.encoder, pictures));

    const std::optional<Bitmap> cover = loadCoverArt(song, 40, 30);
    ASSERT_EQ(cover.has_value(), row.expected.has_value());
    if (!cover) return;
    EXPECT_EQ(cover->width(), 40);
    EXPECT_EQ(cover->height(), 30);
    EXPECT_EQ(firstOffColour(*cover, *row.expected, row.tolerance), "");
}

const std::vector<CoverPicture> kBackThenFront{{"back.png", kRed, "Cover (back)"},
                                               {"front.png", 0x206040, "Cover (front)"}};

INSTANTIATE_TEST_SUITE_P(
    Songs, CoverArtTest,
    ::testing::Values(
        CoverArtRow{"Mp3", "song.mp3", "libmp3lame", {{"cover.png", 0x3C78B4, ""}}, 0x3C78B4, 0},
        CoverArtRow{"Mp3BackThenFront", "song.mp3", "libmp3lame", kBackThenFront, 0x206040, 0},
        CoverArtRow{"FlacWithoutCover", "song.flac", "flac", {}, std::nullopt, 0},
        CoverArtRow{"M4a", "song.m4a", "aac", {{"cover.png", 0x102030, ""}}, 0x102030, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// What a bad input is made of.
enum class Made { Nothing, Text, Empty, HugePng, GoodPng };

void make(const std::string& path, Made made) {
    std::vector<std::uint8_t> png = encodePng(flat(4, 4, kGreen), 1);
    switch (made) {
    case Made::Nothing:
        return;
    case Made::Text:
        return writeBytes(path, "this is not a picture\n");
    case Made::Empty:
        return writeBytes(path, "");
    case Made::HugePng:
        // Width and height follow the signature (8 bytes), the chunk's length and its type (8):
        // 12000 x 12000, which FFmpeg would allocate.
        for (int at : {16, 20})
            std::copy_n("\0\0\x2E\xE0", 4, png.begin() + at);
        [[fallthrough]];
    case Made::GoodPng:
        return writeBytes(path, std::string(png.begin(), png.end()));
    }
}

struct BadInputRow {
    const char* name;
    const char* file;
    Made made;
    bool cover; // loadCoverArt, else loadBackgroundImage
    int width, height;
    const char* reason; // the start of what follows "cannot read ... 'path': "
};

class BadInputTest : public ::testing::TestWithParam<BadInputRow> {};

TEST_P(BadInputTest, IsOneLineNamingTheFile) {
    const BadInputRow& row = GetParam();
    ScratchDir dir;
    const std::string path = dir.file(row.file);
    make(path, row.made);
    const std::string start = std::string("cannot read ") +
                              (row.cover ? "the cover art of '" : "the background '") + path +
                              "': " + row.reason;
    try {
        if (row.cover)
            loadCoverArt(path, row.width, row.height);
        else
            loadBackgroundImage(path, row.width, row.height);
        FAIL() << "no error";
    } catch (const BackgroundError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.substr(0, start.size()), start) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

constexpr const char* kUndecodable = "not a picture, or a damaged one (";
constexpr const char* kUnknown = "not a kind of file FFmpeg reads (";

INSTANTIATE_TEST_SUITE_P(
    Files, BadInputTest,
    ::testing::Values(
        BadInputRow{"Missing", "missing.png", Made::Nothing, false, 64, 48, "no such file"},
        BadInputRow{"TextNamedPng", "notes.png", Made::Text, false, 64, 48, kUndecodable},
        BadInputRow{"TextOfNoKnownKind", "notes.xyz", Made::Text, false, 64, 48, kUnknown},
        BadInputRow{"Empty", "empty.png", Made::Empty, false, 64, 48, "empty file"},
        BadInputRow{"HugePicture", "huge.png", Made::HugePng, false, 64, 48,
                    "the picture is 12000x12000 pixels, more than 67108864 in all"},
        BadInputRow{"HugeArea", "good.png", Made::GoodPng, false, 64, 20000,
                    "asked for a 64x20000 picture"},
        BadInputRow{"CoverOfText", "notes.mp3", Made::Text, true, 64, 48, kUnknown}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace lumacore::cli::test
