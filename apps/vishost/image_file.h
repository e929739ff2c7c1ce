// Pictures the host writes: a client area as 24-bit BMP or as PNG (8-bit RGB, stored deflate
// blocks, so no compressor is needed; CRC-32 and Adler-32 as the formats require).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumacore::vishost {

// Pixels 0x00RRGGBB, rows top to bottom, no padding.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

std::vector<unsigned char> encodeBmp(const Image& image);
std::vector<unsigned char> encodePng(const Image& image);

// Writes a .bmp or .png file (chosen by the extension, any case). Returns "" or the problem.
std::string writeImage(const std::string& path, const Image& image);

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const unsigned char* data, std::size_t size);

} // namespace lumacore::vishost
