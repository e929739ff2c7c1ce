// The two sources of a background: a picture file, and the cover art inside a sound file. Both
// decode one picture (PictureFile) and scale it to cover the display (scaleToCover); every
// problem becomes one line naming the file.
#include "background/background_image.h"

#include "background/cover_scale.h"
#include "background/picture_file.h"
#include "ffmpeg/ffmpeg_log.h"
#include "audio/limits.h"

namespace lumacore::cli {
namespace {

void checkArea(int width, int height) {
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide)
        throw PictureProblem("asked for a " + std::to_string(width) + "x" + std::to_string(height) +
                             " picture, outside 1 to " + std::to_string(kMaxPictureSide) +
                             " pixels a side");
}

// Runs `load` and turns its problems into a BackgroundError: "cannot read `what` 'path': why".
template <typename Load>
auto explained(const std::string& what, const std::string& path, Load load) {
    try {
        return load();
    } catch (const PictureProblem& problem) {
        throw BackgroundError(
            oneLine("cannot read " + what + " '" + path + "': " + problem.what()));
    }
}

} // namespace

Bitmap loadBackgroundImage(const std::string& path, int width, int height) {
    return explained("the background", path, [&] {
        checkArea(width, height);
        const FramePtr picture = PictureFile(path).firstPicture();
        return scaleToCover(*picture, width, height);
    });
}

std::optional<Bitmap> loadCoverArt(const std::string& audioPath, int width, int height) {
    return explained("the cover art of", audioPath, [&]() -> std::optional<Bitmap> {
        checkArea(width, height);
        const FramePtr picture = PictureFile(audioPath).coverPicture();
        if (!picture) return std::nullopt;
        return scaleToCover(*picture, width, height);
    });
}

} // namespace lumacore::cli
