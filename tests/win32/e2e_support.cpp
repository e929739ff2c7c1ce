#include "e2e_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "draw_scripts.h"
#include "frames/frames_file.h"
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

namespace {

const char* refusedClass = nullptr;

LRESULT CALLBACK refuseWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && refusedClass) {
        char name[64] = "";
        GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name);
        if (std::string(name) == refusedClass) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

WindowCreationRefused::WindowCreationRefused(const char* className) {
    refusedClass = className;
    hook_ = SetWindowsHookExA(WH_CBT, refuseWindow, nullptr, GetCurrentThreadId());
}

WindowCreationRefused::~WindowCreationRefused() {
    UnhookWindowsHookEx(hook_);
    refusedClass = nullptr;
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

bool longRuns() {
    const char* flag = std::getenv("LUMACORE_LONG_RUNS");
    return flag != nullptr && std::string(flag) == "1";
}

std::string tempFile(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    return std::string(base) + "lumacore-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

Picture readBmp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
    auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = v << 8 | b[at + i];
        return v;
    };
    Picture p;
    if (b.size() < 54 || b[0] != 'B' || le(28, 2) != 24) return p;
    p.width = static_cast<int>(le(18, 4));
    p.height = static_cast<int>(le(22, 4));
    const std::size_t offset = le(10, 4);
    const std::size_t stride = (static_cast<std::size_t>(p.width) * 3 + 3) / 4 * 4;
    if (offset + stride * p.height > b.size()) return Picture{};
    p.pixels.resize(static_cast<std::size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::size_t at = offset + (p.height - 1 - y) * stride + x * 3;
            p.pixels[static_cast<std::size_t>(y) * p.width + x] =
                std::uint32_t{b[at + 2]} << 16 | b[at + 1] << 8 | b[at];
        }
    return p;
}

Recording::Recording(int count) : frames(count) {
    static int serial = 0;
    path = tempFile("frames-" + std::to_string(++serial) + ".lmf");
    FramesWriter writer(path, 44100, {60, 1});
    for (int f = 0; f < count; ++f) {
        scriptedFrame(frames[f], f);
        frames[f].nCh = 2;
        writer.append(frameFromModule(frames[f], static_cast<std::uint64_t>(f) * 16667));
    }
    writer.finish();
}

Recording::~Recording() {
    DeleteFileA(path.c_str());
}

Bitmap renderReference(const ReferenceDisplay& display,
                       const std::vector<winampVisModule>& frames) {
    Bitmap bitmap(display.width, display.height);
    RasterSurface surface(bitmap);
    auto state = std::make_unique<HistoryState>();
    state->drawDC = &surface;
    setClientSize(*state, display.width, display.height);
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
