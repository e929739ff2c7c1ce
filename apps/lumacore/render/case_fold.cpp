// Case folding by hand-decoded UTF-8 and the C library's per-locale lowering, which leaves the
// program's own locale alone and is safe on any thread.
#include "render/case_fold.h"

#include <locale.h>
#include <wctype.h>

#include <cstddef>

namespace lumacore::cli {
namespace {

// The Unicode locale, opened once for the program's life; (locale_t)0 when it is missing.
locale_t unicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

char32_t lowered(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    const locale_t locale = unicodeLocale();
    return locale ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale)) : c;
}

// The character that begins at `at` and its length in bytes; length 0 when the bytes there are
// no UTF-8.
std::size_t decode(const std::string& text, std::size_t at, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const std::size_t length = lead < 0x80         ? 1
                               : lead >> 5 == 0x6  ? 2
                               : lead >> 4 == 0xE  ? 3
                               : lead >> 3 == 0x1E ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return 0;
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (byte(at + i) >> 6 != 0x2) return 0;
        c = c << 6 | (byte(at + i) & 0x3F);
    }
    return c <= 0x10FFFF ? length : 0;
}

void encode(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[tail] | (c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i)
        out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

} // namespace

std::string caseFolded(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t at = 0; at < name.size();) {
        char32_t c = 0;
        const std::size_t length = decode(name, at, c);
        if (length == 0) {
            out += name[at++];
            continue;
        }
        encode(lowered(c), out);
        at += length;
    }
    return out;
}

} // namespace lumacore::cli
