// Pictures to show behind the display: an image file, or the cover art inside the sound being
// played, decoded with FFmpeg and scaled to cover the display (scaled by the larger of the two
// ratios, centred, the overflow cropped). Transparent parts of a picture show black.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "host/raster/bitmap.h"

namespace lumacore::cli {

// A background that cannot be read: missing, not a picture, damaged or too large. The message
// is one line naming the file.
class BackgroundError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The largest picture decoded, in pixels (a 64-megapixel photo; about 256 MB decoded).
inline constexpr long long kMaxBackgroundSourcePixels = 64LL * 1024 * 1024;

// The picture in `path` (PNG, JPEG or anything else FFmpeg decodes; of a video, its first
// picture) covering `width` x `height` pixels, as 0x00RRGGBB words. Throws BackgroundError
// ("cannot read the background 'x.png': why").
Bitmap loadBackgroundImage(const std::string& path, int width, int height);

// The cover art embedded in the sound file `audioPath` (an MP3's APIC frame, a FLAC or Ogg
// picture block, an MP4's cover), the front cover when the file marks one, covering `width` x
// `height` pixels; nullopt when the file holds no picture. Throws BackgroundError when the file
// cannot be opened or its picture does not decode.
std::optional<Bitmap> loadCoverArt(const std::string& audioPath, int width, int height);

} // namespace lumacore::cli
