// One `lumacore render` run: the sound (or a frames file) through the analysis into Render
// calls at the chosen rate, the module's pictures sampled at the video frame rate, into the
// chosen output.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/raster/bitmap.h"
#include "render/render_options.h"

namespace lumacore::cli {

// Whoever shows a render's progress: told how many pictures to expect once the input is open
// and the output ready (-1 when the input's length is unknown), then the count made after each
// picture, on the rendering thread.
class RenderProgress {
  public:
    virtual ~RenderProgress() = default;
    virtual void begin(std::int64_t expectedPictures) = 0;
    virtual void update(std::int64_t pictures) = 0;
    // A line about the render that does not stop it (a cover art left out); standard error
    // unless the render is one of a batch.
    virtual void note(const std::string& line);
};

// Runs the render with its progress bar on standard error (none with --quiet); throws
// AudioError, OutputError, FramesError or std::invalid_argument (bad options) with a one-line
// message. Nothing is left at the output unless it completes.
void runRender(RenderOptions options);
// The same, telling `progress` how far it got instead of drawing a bar. `picture`, when given,
// is backgroundPicture(options) made once for several renders; otherwise the render makes it.
void runRender(RenderOptions options, RenderProgress& progress,
               std::shared_ptr<const Bitmap> picture = nullptr);

// The picture file --background names (defaults applied to `options`), decoded and scaled to
// the output's size, to be shared read-only by every render of that size; null without one and
// for "cover", which is each input's own. Throws BackgroundError.
std::shared_ptr<const Bitmap> backgroundPicture(const RenderOptions& options);

// The pictures a video or sequence of an input `secondsAfterStart` long (from --start to its
// end; -1 when unknown) will hold with these options (defaults applied), or -1 when unknown.
std::int64_t expectedPictures(const RenderOptions& options, double secondsAfterStart);

// `lumacore analyse`: writes the frames file of `input` (empty: the demo tune) at `rate` calls
// per second.
void runAnalyse(const std::string& input, const std::string& output, double rate);

} // namespace lumacore::cli
