// Support for the end-to-end tests: a private copy of the plug-in per test (so that each has its
// own "plugin.ini"), and the native rasteriser's picture of the same frames for comparison.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/raster/bitmap.h"
#include "host/vis_module.h"

namespace lumacore::testing {

// A fresh folder holding a copy of the plug-in; removed with everything in it at the end.
class PluginFolder {
  public:
    explicit PluginFolder(const std::string& dllPath);
    ~PluginFolder();
    PluginFolder(const PluginFolder&) = delete;
    PluginFolder& operator=(const PluginFolder&) = delete;

    const std::string& dll() const { return dll_; }
    std::string settingsFile() const { return folder_ + "\\plugin.ini"; }
    void writeSettings(const std::string& text) const;
    // The settings file's text, or "" when there is none.
    std::string readSettings() const;

  private:
    std::string folder_;
    std::string dll_;
};

// What the spectrum-history display draws natively for these frames on a black client area.
struct ReferenceDisplay {
    int width = 0;
    int height = 0;
    bool threeD = true;
    float brightness = 1.0f;
};
Bitmap renderReference(const ReferenceDisplay& display, const std::vector<winampVisModule>& frames);

// Counts the pixels of the top `rows` rows where `actual` (0x00RRGGBB rows) differs from
// `expected`; the first few differences go into `report`.
int countDifferences(const Bitmap& expected, const std::vector<std::uint32_t>& actual, int rows,
                     std::string& report);

// While it lives, the calling thread cannot create windows of class `className`, as on a system
// out of resources. One at a time.
class WindowCreationRefused {
  public:
    explicit WindowCreationRefused(const char* className);
    ~WindowCreationRefused();
    WindowCreationRefused(const WindowCreationRefused&) = delete;
    WindowCreationRefused& operator=(const WindowCreationRefused&) = delete;

  private:
    HHOOK hook_;
};

// Whether LUMACORE_LONG_RUNS=1 asks for the long versions of the soak runs (scripts/soak).
bool longRuns();

// A path in the temporary folder, unique to this process.
std::string tempFile(const std::string& name);

// A 24-bit BMP written by vishost, as 0x00RRGGBB rows top to bottom (empty when unreadable).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
Picture readBmp(const std::string& path);

// Scripted music-like frames, written as a frames file and kept for the reference rendering.
struct Recording {
    std::string path;
    std::vector<winampVisModule> frames;
    explicit Recording(int count);
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
};

} // namespace lumacore::testing
