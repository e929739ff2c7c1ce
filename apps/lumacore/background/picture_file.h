// One picture decoded with FFmpeg from a file: an image's first picture, or the picture a sound
// file carries as its cover art. A problem is thrown as a PictureProblem holding the reason
// alone, which the caller puts after its own words naming the file.
#pragma once

#include <stdexcept>
#include <string>

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_owners.h"

namespace lumacore::cli {

class PictureProblem : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class PictureFile {
  public:
    struct Size {
        int width = 0, height = 0;
    };

    // Opens the container of `path`, a regular file that is not empty; throws PictureProblem.
    explicit PictureFile(const std::string& path);
    // The decoder keeps the address of refused_.
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;

    // The first picture of the file's video stream; throws PictureProblem. Every picture
    // returned here and below has between 1 and kMaxBackgroundSourcePixels pixels.
    FramePtr firstPicture();
    // The attached picture the file marks as its front cover, else its first attached picture;
    // null when it has none. Throws PictureProblem when the picture does not decode.
    FramePtr coverPicture();

  private:
    [[noreturn]] void fail(const std::string& what, int code);
    void openDecoder(const AVStream& stream);
    // Sends `packet` (null: the end of the stream) and returns the picture that came out, if any.
    FramePtr decode(const AVPacket* packet);
    [[noreturn]] void failDecoding(int code);

    FfmpegLog log_; // first: it outlives every object it watches
    InputFormatPtr format_;
    CodecPtr codec_;
    Size refused_; // a picture the decoder's allocator refused as too large
};

} // namespace lumacore::cli
