#include "render/background_sink.h"

#include <utility>

#include "background/composite.h"
#include "output/pixels.h"

namespace lumacore::cli {

BackgroundSink::BackgroundSink(std::unique_ptr<FrameSink> output,
                               std::shared_ptr<const Bitmap> background, int scale)
    : output_(std::move(output)), background_(std::move(background)), scale_(scale),
      enlarged_(background_->width(), background_->height()) {}

void BackgroundSink::write(const Bitmap& picture) {
    if (scale_ == 1) {
        composite(picture, *background_, enlarged_);
    } else {
        // Nearest neighbour, as every output enlarges; the background keeps its own detail.
        enlarge(picture, scale_, enlarged_);
        composite(enlarged_, *background_, enlarged_);
    }
    output_->write(enlarged_);
}

} // namespace lumacore::cli
