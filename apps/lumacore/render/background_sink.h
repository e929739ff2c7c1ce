// The display over a picture: the pictures a render makes, with their alpha channel kept, laid
// over a background at the output's full size before the output sees them.
#pragma once

#include <memory>

#include "host/raster/bitmap.h"
#include "output/frame_sink.h"

namespace lumacore::cli {

class BackgroundSink : public FrameSink {
  public:
    // `output` takes pictures of the background's size, unenlarged; the pictures written here
    // are enlarged `scale` times first. The background is only read: other renders may share it.
    BackgroundSink(std::unique_ptr<FrameSink> output, std::shared_ptr<const Bitmap> background,
                   int scale);

    void write(const Bitmap& picture) override;
    void finish() override { output_->finish(); }

  private:
    std::unique_ptr<FrameSink> output_;
    std::shared_ptr<const Bitmap> background_;
    int scale_;
    Bitmap enlarged_; // the picture at the output's size, then composited in place
};

} // namespace lumacore::cli
