// The client area of a window as it is on screen, read back through GDI.
#pragma once

#include <string>

#include <windows.h>

#include "image_file.h"

namespace lumacore::vishost {

// Copies the client area of `hwnd`. On failure returns an empty image and says why in *error.
Image captureClient(HWND hwnd, std::string* error);

} // namespace lumacore::vishost
