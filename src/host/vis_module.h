// The records a Winamp-compatible player reads from a visualisation plug-in: the header returned
// by the one export and the module records it drives. Written from the player's published record
// layout (header version 0x101); the 32-bit layout is checked field by field below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumacore {

// Window and module handles stay opaque here so that no platform header reaches portable code;
// the Win32 side converts them to HWND and HINSTANCE.
using WindowHandle = void*;
using ModuleHandle = void*;

inline constexpr int kSamplesPerChannel = 576;

struct winampVisModule {
    const char* description = nullptr; // module name, window title of the scopes, settings section
    WindowHandle hwndParent = nullptr; // the player's main window
    ModuleHandle hDllInstance = nullptr; // this library's instance
    int sRate = 0;
    int nCh = 0;
    int latencyMs = 0;
    int delayMs = 0;
    int spectrumNch = 0;
    int waveformNch = 0;
    unsigned char spectrumData[2][kSamplesPerChannel]{}; // row 0 left, row 1 right; 0 = lowest band
    unsigned char waveformData[2][kSamplesPerChannel]{}; // read as signed 8-bit samples
    void (*Config)(winampVisModule* module) = nullptr;
    int (*Init)(winampVisModule* module) = nullptr;
    int (*Render)(winampVisModule* module) = nullptr;
    void (*Quit)(winampVisModule* module) = nullptr;
    void* userData = nullptr;
};

struct winampVisHeader {
    int version;
    const char* description;
    winampVisModule* (*getModule)(int index);
};

inline constexpr int kVisHeaderVersion = 0x101;

// The player reads these records from a 32-bit process: pin every offset there.
#if INTPTR_MAX == INT32_MAX
static_assert(offsetof(winampVisModule, description) == 0);
static_assert(offsetof(winampVisModule, hwndParent) == 4);
static_assert(offsetof(winampVisModule, hDllInstance) == 8);
static_assert(offsetof(winampVisModule, sRate) == 12);
static_assert(offsetof(winampVisModule, nCh) == 16);
static_assert(offsetof(winampVisModule, latencyMs) == 20);
static_assert(offsetof(winampVisModule, delayMs) == 24);
static_assert(offsetof(winampVisModule, spectrumNch) == 28);
static_assert(offsetof(winampVisModule, waveformNch) == 32);
static_assert(offsetof(winampVisModule, spectrumData) == 36);
static_assert(offsetof(winampVisModule, waveformData) == 1188);
static_assert(offsetof(winampVisModule, Config) == 2340);
static_assert(offsetof(winampVisModule, Init) == 2344);
static_assert(offsetof(winampVisModule, Render) == 2348);
static_assert(offsetof(winampVisModule, Quit) == 2352);
static_assert(offsetof(winampVisModule, userData) == 2356);
static_assert(sizeof(winampVisModule) == 2360);
static_assert(offsetof(winampVisHeader, version) == 0);
static_assert(offsetof(winampVisHeader, description) == 4);
static_assert(offsetof(winampVisHeader, getModule) == 8);
static_assert(sizeof(winampVisHeader) == 12);
#endif

// A waveform byte as the signed sample it carries.
inline int sampleAt(const winampVisModule& module, int row, int index) {
    return static_cast<signed char>(module.waveformData[row][index]);
}

} // namespace lumacore
