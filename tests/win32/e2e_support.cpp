#include "e2e_support.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "history/history_render.h"
#include "history/palette.h"
#include "host/raster/raster_surface.h"

namespace lumacore::testing {

PluginFolder::PluginFolder(const std::string& dllPath) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    folder_ = std::string(base) + "lumacore-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
    CreateDirectoryA(folder_.c_str(), nullptr);
    dll_ = folder_ + "\\vis_lumacore.dll";
    if (!CopyFileA(dllPath.c_str(), dll_.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + dllPath + " to " + dll_);
}

PluginFolder::~PluginFolder() {
    DeleteFileA(dll_.c_str());
    DeleteFileA(settingsFile().c_str());
    RemoveDirectoryA(folder_.c_str());
}

void PluginFolder::writeSettings(const std::string& text) const {
    std::ofstream out(settingsFile(), std::ios::binary);
    out << text;
}

std::string PluginFolder::readSettings() const {
    std::ifstream in(settingsFile(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Bitmap renderReference(const ReferenceDisplay& display,
                       const std::vector<winampVisModule>& frames) {
    Bitmap bitmap(display.width, display.height);
    RasterSurface surface(bitmap);
    auto state = std::make_unique<HistoryState>();
    state->drawDC = &surface;
    state->windowWidth = display.width;
    state->windowHeight = display.height;
    state->depthStep = depthStepFor(display.height);
    state->brightness = display.brightness;
    buildPalette(*state);
    setMode(*state, display.threeD ? 1 : 0);
    for (const winampVisModule& frame : frames)
        historyRender(*state, frame);
    return bitmap;
}

int countDifferences(const Bitmap& expected, const std::vector<std::uint32_t>& actual, int rows,
                     std::string& report) {
    std::ostringstream first;
    int differing = 0;
    const int w = expected.width();
    for (int y = 0; y < rows && y < expected.height(); ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t want = expected.row(y)[x] & 0xFFFFFF;
            const std::uint32_t got = actual[static_cast<std::size_t>(y) * w + x] & 0xFFFFFF;
            if (want == got) continue;
            if (++differing <= 8)
                first << " (" << x << "," << y << ") want " << std::hex << want << " got " << got
                      << std::dec;
        }
    }
    report = first.str();
    return differing;
}

} // namespace lumacore::testing
