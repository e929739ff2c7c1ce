// The wasm module's one export: N pictures of a module over the built-in demo tune, the last one
// handed back as R, G, B, A bytes (A = 255), the layout the native renderer's raw output writes.
#include <cstdint>
#include <cstdio>
#include <exception>

#include "audio/audio_source.h"
#include "pipeline/call_source.h"
#include "pipeline/sample_buffer.h"
#include "web_runner.h"

namespace {

constexpr int kMaxSide = 4096;
constexpr int kMaxPictures = 100000;

const char* problemWith(int module, int width, int height, double fps, int pictures,
                        const unsigned char* rgba) {
    if (module < 0 || module > 2) return "module must be 0 (history), 1 (scope) or 2 (vu)";
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return "width and height must be 1 to 4096";
    if (!(fps >= 0.01 && fps <= 240)) return "fps must be 0.01 to 240";
    if (pictures < 1 || pictures > kMaxPictures) return "pictures must be 1 to 100000";
    if (rgba == nullptr) return "no picture buffer";
    return nullptr;
}

void toRgba(const lumacore::Bitmap& bitmap, unsigned char* out) {
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint32_t* row = bitmap.row(y);
        for (int x = 0; x < bitmap.width(); ++x, out += 4) {
            out[0] = static_cast<unsigned char>(row[x] >> 16);
            out[1] = static_cast<unsigned char>(row[x] >> 8);
            out[2] = static_cast<unsigned char>(row[x]);
            out[3] = 0xFF;
        }
    }
}

} // namespace

// Renders pictures 0 .. pictures-1 (picture k at k / fps seconds, calls at fps per second) of
// `module` at width x height and writes the last one into `rgba` (width * height * 4 bytes).
// Returns 0, or -1 after one line on stderr for bad arguments or a failure.
extern "C" int lumacore_web_render(int module, int threeD, int width, int height, double fps,
                                   int pictures, unsigned char* rgba) {
    if (const char* problem = problemWith(module, width, height, fps, pictures, rgba)) {
        std::fprintf(stderr, "lumacore_web_render: %s\n", problem);
        return -1;
    }
    try {
        using namespace lumacore;
        cli::SampleBuffer buffer(cli::demoTune(44100));
        cli::AnalysedCalls calls(buffer, fps, 0);
        web::WebRunner runner(static_cast<web::WebModule>(module), threeD != 0, width, height,
                              calls);
        for (int k = 0; k < pictures; ++k)
            runner.advanceTo(static_cast<double>(k) / fps);
        toRgba(runner.picture(), rgba);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumacore_web_render: %s\n", error.what());
        return -1;
    }
}
