#include "image_file.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace lumacore::vishost {
namespace {

void putLe(std::vector<unsigned char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void putBe(std::vector<unsigned char>& out, std::uint32_t value) {
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void pngChunk(std::vector<unsigned char>& out, const char* type,
              const std::vector<unsigned char>& data) {
    putBe(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBe(out, crc32(out.data() + typeAt, out.size() - typeAt));
}

bool endsWith(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        char c = text[text.size() - tail.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

} // namespace

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(const unsigned char* data, std::size_t size) {
    std::uint32_t a = 1, b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<unsigned char> encodeBmp(const Image& image) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    const std::uint32_t offset = 14 + 40;
    std::vector<unsigned char> out;
    out.reserve(offset + pixelBytes);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    putLe(out, offset + pixelBytes, 4);
    putLe(out, 0, 4);
    putLe(out, offset, 4);
    // BITMAPINFOHEADER: bottom-up, 24 bits, uncompressed
    putLe(out, 40, 4);
    putLe(out, static_cast<std::uint32_t>(image.width), 4);
    putLe(out, static_cast<std::uint32_t>(image.height), 4);
    putLe(out, 1, 2);
    putLe(out, 24, 2);
    putLe(out, 0, 4);
    putLe(out, pixelBytes, 4);
    putLe(out, 2835, 4); // 72 dpi
    putLe(out, 2835, 4);
    putLe(out, 0, 4);
    putLe(out, 0, 4);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            out.push_back(static_cast<unsigned char>(p));       // blue
            out.push_back(static_cast<unsigned char>(p >> 8));  // green
            out.push_back(static_cast<unsigned char>(p >> 16)); // red
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < rowBytes; ++pad)
            out.push_back(0);
    }
    return out;
}

std::vector<unsigned char> encodePng(const Image& image) {
    // Scan lines: filter type 0, then RGB.
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (1 + 3 * image.width));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            raw.push_back(static_cast<unsigned char>(p >> 16));
            raw.push_back(static_cast<unsigned char>(p >> 8));
            raw.push_back(static_cast<unsigned char>(p));
        }
    }
    // zlib stream of stored blocks, at most 65535 bytes each.
    std::vector<unsigned char> zlib = {0x78, 0x01};
    std::size_t done = 0;
    do {
        const std::size_t length = std::min<std::size_t>(raw.size() - done, 65535);
        const bool last = done + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        putLe(zlib, static_cast<std::uint32_t>(length), 2);
        putLe(zlib, static_cast<std::uint32_t>(~length & 0xFFFF), 2);
        zlib.insert(zlib.end(), raw.begin() + done, raw.begin() + done + length);
        done += length;
    } while (done < raw.size());
    putBe(zlib, adler32(raw.data(), raw.size()));

    std::vector<unsigned char> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    putBe(header, static_cast<std::uint32_t>(image.width));
    putBe(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, filter 0, no interlace
    pngChunk(out, "IHDR", header);
    pngChunk(out, "IDAT", zlib);
    pngChunk(out, "IEND", {});
    return out;
}

std::string writeImage(const std::string& path, const Image& image) {
    std::vector<unsigned char> bytes;
    if (endsWith(path, ".bmp"))
        bytes = encodeBmp(image);
    else if (endsWith(path, ".png"))
        bytes = encodePng(image);
    else
        return "unknown picture type (use .bmp or .png): " + path;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) return "cannot write " + path;
    return "";
}

} // namespace lumacore::vishost
