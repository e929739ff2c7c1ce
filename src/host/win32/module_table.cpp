#include "host/win32/module_table.h"

#include "history/win32/history_window.h"
#include "scope/win32/scope_window.h"

namespace lumacore {
namespace {

winampVisModule modules[kModuleCount] = {
    {
        .description = "Lumacor 3D",
        .latencyMs = 0,
        .delayMs = 2,
        .spectrumNch = 2,
        .waveformNch = 0,
        .Config = historyConfig,
        .Init = historyInit,
        .Render = historyWindowRender,
        .Quit = historyQuit,
    },
    {
        .description = "Oscilliscope",
        .latencyMs = 25,
        .delayMs = 25,
        .spectrumNch = 0,
        .waveformNch = 2,
        .Config = scopeConfig,
        .Init = scopeInit,
        .Render = oscilloscopeRender,
        .Quit = scopeQuit,
    },
    {
        .description = "VU Meter",
        .latencyMs = 25,
        .delayMs = 25,
        .spectrumNch = 0,
        .waveformNch = 2,
        .Config = scopeConfig,
        .Init = scopeInit,
        .Render = vuMeterRender,
        .Quit = scopeQuit,
    },
};

winampVisHeader header = {kVisHeaderVersion, "Lumacore", getModule};

} // namespace

winampVisModule* getModule(int index) {
    if (index < 0 || index >= kModuleCount) return nullptr;
    return &modules[index];
}

winampVisHeader* visHeader() {
    return &header;
}

} // namespace lumacore
