// What the OBS source's settings mean for the module runner: which module, its client size and
// the whole factor the scopes' fixed picture is enlarged by, the brightness, the call rate and
// the background. Values from a scene file edited by hand are brought into range here, so that
// nothing OBS hands over can ask for more than the source's limits (sides up to 8192, below the
// renderer's).
#pragma once

#include <string>

#include "audio/limits.h"
#include "pipeline/module_runner.h"
#include "pipeline/scope_fit.h"

namespace lumacore::obs {

inline constexpr int kScopeWidth = cli::kScopeWidth;
inline constexpr int kScopeHeight = cli::kScopeHeight;
// The largest side OBS is given, below the renderer's 16384: a picture of 8192 x 8192 is 256 MiB,
// and its texture as much again, refilled each frame for an enlarged scope.
inline constexpr int kMaxSide = 8192;
static_assert(kMaxSide <= cli::kMaxPictureSide);
inline constexpr double kMinBrightness = 0.2;
inline constexpr double kMaxBrightness = 2.0;
inline constexpr double kMinCallRate = 1;
inline constexpr double kMaxCallRate = cli::kMaxCallRate;

// The settings as OBS stores them (the property names in lumacore_source.cpp).
struct SourceSettings {
    std::string display = "history"; // "history", "oscilloscope" or "vu"
    bool threeD = true;
    double brightness = 1.0;
    double callsPerSecond = 60;
    int width = 1280;
    int height = 720;
    std::string title{};
    bool transparent = true;
    std::string audioSource{}; // empty: the whole mix
};

// The runner's display and how the texture OBS shows is made from its picture.
struct SourcePicture {
    cli::Display display;
    int scale = 1; // the scopes' picture enlarged this many times; the history's never
    double callsPerSecond = 60;

    int textureWidth() const { return display.width * scale; }
    int textureHeight() const { return display.height * scale; }
};

cli::ModuleKind moduleNamed(const std::string& name);

// The picture for `settings`, every number brought into its range. The scopes keep their fixed
// picture, enlarged by the largest whole factor that fits the size asked for (at least 1).
SourcePicture pictureFor(const SourceSettings& settings);

// Whether going from `before` to `after` needs a new runner (module, size, background or call
// rate); mode, brightness and title are changed on the running one.
bool needsNewRunner(const SourcePicture& before, const SourcePicture& after);

} // namespace lumacore::obs
