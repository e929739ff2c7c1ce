// What the surface lock costs a frame when one host thread does everything, as players do: the
// three renderers draw on a real window's DC through GdiSurface, frame blocks without the lock
// and with it alternating in one run, and the bare lock taken and given back on its own. Prints
// the median time per frame of each and the difference. Run it under Wine:
//   build/win64/wine-run build/win64/bench/win32/surface_lock_bench.exe [FRAMES] [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "draw_scripts.h"
#include "history/history_render.h"
#include "history/palette.h"
#include "host/win32/surface_lock.h"
#include "host/win32/window_surface.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"

namespace lumacore {
namespace {

double seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class BenchWindow {
  public:
    BenchWindow(int width, int height) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "LumacoreLockBench";
        RegisterClassA(&windowClass);
        RECT r{0, 0, width, height};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        hwnd_ = CreateWindowExA(0, windowClass.lpszClassName, "lock bench", WS_OVERLAPPEDWINDOW, 0,
                                0, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
    }
    ~BenchWindow() { DestroyWindow(hwnd_); }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;
    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_ = nullptr;
};

struct Module {
    const char* name;
    int (*frame)(Surface& dc, const winampVisModule& data, HistoryState& history,
                 ScopeState& scope);
};

const Module kModules[] = {
    {"spectrum history (3D)", [](Surface&, const winampVisModule& data, HistoryState& history,
                                 ScopeState&) { return historyRender(history, data); }},
    {"oscilloscope", [](Surface& dc, const winampVisModule& data, HistoryState&,
                        ScopeState&) { return oscilloscopeRender(dc, data); }},
    {"VU meter", [](Surface& dc, const winampVisModule& data, HistoryState&,
                    ScopeState& scope) { return vuMeterRender(scope, dc, data); }},
};

} // namespace
} // namespace lumacore

int main(int argc, char** argv) {
    using namespace lumacore;
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    if (frames <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: surface_lock_bench [FRAMES] [ROUNDS]\n");
        return 2;
    }

    // The bare lock: taken and given back, uncontended.
    constexpr int kPairs = 10000000;
    const double start = seconds();
    for (int i = 0; i < kPairs; ++i) {
        const SurfaceAccess access;
    }
    std::printf("lock taken and given back: %.1f ns\n", (seconds() - start) / kPairs * 1e9);

    std::vector<winampVisModule> data(256);
    for (int f = 0; f < 256; ++f) {
        testing::scriptedFrame(data[f], f);
        data[f].nCh = 2;
    }
    const BenchWindow window(640, 360);
    for (const Module& module : kModules) {
        WindowSurface surface(window.hwnd());
        auto history = std::make_unique<HistoryState>();
        history->drawDC = &surface.surface();
        setClientSize(*history, 640, 360);
        buildPalette(*history);
        setMode(*history, 1);
        ScopeState scope;
        int next = 0;
        const auto block = [&](bool locked) {
            const double begin = seconds();
            for (int i = 0; i < frames; ++i) {
                const winampVisModule& frame = data[next++ % data.size()];
                if (locked) {
                    const SurfaceAccess access;
                    module.frame(surface.surface(), frame, *history, scope);
                } else {
                    module.frame(surface.surface(), frame, *history, scope);
                }
            }
            GdiFlush();
            return (seconds() - begin) / frames * 1e6;
        };
        block(false); // warm-up
        std::vector<double> plain, locked;
        for (int r = 0; r < rounds; ++r) {
            plain.push_back(block(false));
            locked.push_back(block(true));
        }
        const double a = median(plain), b = median(locked);
        std::printf("%s: %.2f us a frame without the lock, %.2f us with it (%+.2f us, %+.2f%%)\n",
                    module.name, a, b, b - a, (b - a) / a * 100.0);
    }
    return 0;
}
