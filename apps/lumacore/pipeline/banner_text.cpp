// UTF-8 to Windows-1252: a strict UTF-8 reader (no overlong forms, surrogates or code points
// beyond U+10FFFF) and the code page's table, which is Latin-1 but for 0x80..0x9F.
#include "pipeline/banner_text.h"

#include <array>
#include <cstdint>
#include <filesystem>

namespace lumacore::cli {
namespace {

// The characters of bytes 0x80..0x9F; 0 where the code page has none.
constexpr std::array<char32_t, 32> kHighControls{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char toWindows1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

std::string utf8ToWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<std::uint8_t>(utf8[i++]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            continue;
        }
        // The sequence's length and the range its second byte must lie in.
        int more = 0;
        std::uint8_t low = 0x80, high = 0xBF;
        char32_t c = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            c = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;  // overlong below
            if (lead == 0xED) high = 0x9F; // surrogates above
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            c = lead & 0x07;
            if (lead == 0xF0) low = 0x90;  // overlong below
            if (lead == 0xF4) high = 0x8F; // beyond U+10FFFF above
        } else {
            out += '?'; // a continuation byte without a lead, or a lead never used
            continue;
        }
        bool whole = true;
        for (int k = 0; k < more; ++k, low = 0x80, high = 0xBF) {
            if (i >= utf8.size()) {
                whole = false;
                break;
            }
            const auto next = static_cast<std::uint8_t>(utf8[i]);
            if (next < low || next > high) {
                whole = false; // this byte starts afresh
                break;
            }
            c = (c << 6) | (next & 0x3F);
            ++i;
        }
        out += whole ? toWindows1252(c) : '?';
    }
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<std::uint8_t>(byte);
        char32_t c = b;
        if (b >= 0x80 && b <= 0x9F)
            c = kHighControls[b - 0x80] != 0 ? kHighControls[b - 0x80] : 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string bannerTitle(const std::optional<std::string>& given, const std::string& path,
                        const std::string& artist, const std::string& title) {
    if (given) return *given;
    if (!artist.empty() && !title.empty()) return artist + " - " + title;
    if (!title.empty()) return title;
    if (path.empty()) return "Lumacore demo";
    return std::filesystem::path(path).filename().string();
}

} // namespace lumacore::cli
