// A file output behind the picture loop: it takes the module's picture as it is.
#pragma once

#include "output/frame_sink.h"
#include "pipeline/picture_loop.h"

namespace lumacore::cli {

class OutputPictures final : public PictureSink {
  public:
    explicit OutputPictures(FrameSink& output) : output_(output) {}
    void show(const Bitmap& picture) override { output_.write(picture); }

  private:
    FrameSink& output_;
};

} // namespace lumacore::cli
