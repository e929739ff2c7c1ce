// A tiny visualisation plug-in for testing the player stand-in. Module 0 ("Fake Vis") opens a
// window and draws a pattern computed from the frame's rows; module 1 ("Failing") shows an
// error box in Init and fails. What the modules see is noted in an event list that the test
// reads through the extra export fakeVisEvents; a Render or Quit on another thread than Init's
// is noted too ("render-thread:other" once a run, "quit-thread:other"). It takes no care of
// threads: its Quit on another thread leaves its window to that thread.
#pragma once

#include <cstdint>

#include "host/vis_module.h"

namespace fakevis {

inline constexpr const char* kDllName = "fake_vis.dll";
inline constexpr const char* kWindowClass = "FakeVisWindow";
inline constexpr int kClientWidth = 200;
inline constexpr int kClientHeight = 120;

// WM_COMMAND ids the window answers.
inline constexpr int kShowMessageBox = 4242; // MessageBoxA(hwndParent, kBoxText, kBoxCaption, ...)
inline constexpr int kOpenDialog = 4243;     // the modeless dialog, owned by hwndParent
// Leaves a pen, a brush selected in a DC that is never released, a class, a window and its
// timer behind, none of which Quit frees.
inline constexpr int kLeak = 4244;
// Deletes a pen while it is selected, then releases the DC with the dead pen still in it.
inline constexpr int kMisuse = 4245;
// Draws a rectangle on a DC already given back, and deletes a pen twice.
inline constexpr int kUseDeadHandles = 4246;
inline constexpr const char* kBoxText = "Something to say";
inline constexpr const char* kBoxCaption = "Fake notice";
inline constexpr unsigned kBoxFlags = 0x41; // MB_OKCANCEL | MB_ICONINFORMATION

// The dialog's controls.
inline constexpr int kSlider = 1000;
inline constexpr int kRadio = 1008;

// Render returns 1 when the left spectrum row starts with these bytes.
inline constexpr unsigned char kStopMarker[3] = {0xDE, 0xAD, 0x01};

// The colour (0x00RRGGBB) Render puts at (x, y) of a client area `height` pixels high.
inline std::uint32_t patternPixel(const unsigned char (&spectrum)[2][lumacore::kSamplesPerChannel],
                                  const unsigned char (&waveform)[2][lumacore::kSamplesPerChannel],
                                  int x, int y, int height) {
    const int i = x % lumacore::kSamplesPerChannel;
    if (y < height / 2)
        return std::uint32_t{spectrum[0][i]} << 16 | std::uint32_t{spectrum[1][i]} << 8 |
               waveform[0][i];
    return std::uint32_t{waveform[1][i]} << 16 |
           std::uint32_t{static_cast<unsigned char>(~spectrum[0][i])} << 8 | 0x40;
}

using EventsFunction = const char* (*)();
using ResetFunction = void (*)();

} // namespace fakevis
