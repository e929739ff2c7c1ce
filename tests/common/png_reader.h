// The tests' one PNG reader (native suites only: libspng): a file's bytes decoded to 8-bit RGB,
// with the colour type the file declared and its alpha channel, if any.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumacore::test {

struct DecodedPng {
    int width = 0, height = 0;
    int colourType = -1;             // as the file's header gives it (2: RGB, 6: RGBA)
    std::vector<std::uint8_t> rgb;   // rows top down, 3 bytes a pixel
    std::vector<std::uint8_t> alpha; // a byte a pixel, when the file has an alpha channel
};

// The PNG in `bytes`; nullopt when it is not one that decodes.
std::optional<DecodedPng> decodePng(const std::string& bytes);

} // namespace lumacore::test
