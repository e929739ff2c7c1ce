// The banner's titles from UTF-8 into Windows-1252: what the code page has is kept, the rest and
// every ill-formed sequence become '?', one for each maximal ill-formed part.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "pipeline/banner_text.h"

namespace lumacore::cli {
namespace {

TEST(BannerText, ConvertsUtf8ToWindows1252) {
    using namespace std::string_literals;
    const struct {
        const char* what;
        std::string utf8;
        std::string expected;
    } cases[] = {
        {"plain ASCII", "Daft Punk - One More Time", "Daft Punk - One More Time"},
        {"Latin-1 letters", "Mot\xC3\xB6rhead - Caf\xC3\xA9", "Mot\xF6rhead - Caf\xE9"},
        {"both ends of Latin-1", "\xC2\xA0\xC3\xBF", "\xA0\xFF"},
        {"the code page's own 0x80..0x9F", "\xE2\x82\xAC \xE2\x84\xA2 \xE2\x80\xA6 \xC5\xB8",
         "\x80 \x99 \x85 \x9F"},
        {"quotes and dashes", "\xE2\x80\x9Cx\xE2\x80\x9D \xE2\x80\x93 \xE2\x80\x94",
         "\x93x\x94 \x96 \x97"},
        {"C1 controls the code page lacks", "\xC2\x81\xC2\x8D", "??"},
        {"characters beyond it", "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xB5 \xC4\x80", "?? ? ?"},
        {"an embedded NUL stays", "a\0b"s, "a\0b"s},
        {"a lone continuation byte", "a\x80z", "a?z"},
        {"a lead cut short at the end", "caf\xC3", "caf?"},
        {"a lead cut short by ASCII",
         "\xC3"
         "A",
         "?A"},
        {"a three-byte lead cut after two", "\xE2\x82z", "?z"},
        {"overlong two bytes", "\xC0\xAF", "??"},
        {"overlong three bytes", "\xE0\x80\xAF", "???"},
        {"a surrogate", "\xED\xA0\x80", "???"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"leads never used", "\xF5\xFE\xFF", "???"},
        {"a four-byte lead then a new lead", "\xF0\x9F\xC3\xA9", "?\xE9"},
        {"empty", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8ToWindows1252(c.utf8), c.expected) << c.what;
}

// Back to UTF-8 for a renderer that takes Unicode: every byte the code page defines comes back as
// the character it came from, the five it leaves unused as U+FFFD.
TEST(BannerText, Windows1252BackToUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = windows1252ToUtf8(all);
    std::string unused; // what the round trip turns into '?' besides '?' itself
    const std::string back = utf8ToWindows1252(utf8);
    ASSERT_EQ(back.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        if (back[i] != all[i]) unused += all[i];
    EXPECT_EQ(unused, "\x81\x8D\x8F\x90\x9D");
    EXPECT_EQ(windows1252ToUtf8("\x81"), "\xEF\xBF\xBD");
    EXPECT_EQ(windows1252ToUtf8("Mot\xF6rhead \x80 \x99"),
              "Mot\xC3\xB6rhead \xE2\x82\xAC \xE2\x84\xA2");
}

// Every byte string of up to three bytes converts without fault, and well-formed input never
// grows: one character, at most one byte.
TEST(BannerText, TakesAnyBytes) {
    std::string bytes(3, '\0');
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; b += 3)
            for (int c = 0; c < 256; c += 5) {
                bytes[0] = static_cast<char>(a);
                bytes[1] = static_cast<char>(b);
                bytes[2] = static_cast<char>(c);
                ASSERT_LE(utf8ToWindows1252(bytes).size(), 3u);
            }
}

// The banner's title where none is given: "Artist - Title", else the title, else the file's name
// (an untagged track), never a bare " - ".
TEST(BannerText, TitleFromWhatIsKnown) {
    const struct {
        std::optional<std::string> given;
        const char *path, *artist, *title, *expected;
    } cases[] = {
        {"Given", "/m/a.flac", "Artist", "Title", "Given"},
        {std::nullopt, "/m/a.flac", "Artist", "Title", "Artist - Title"},
        {std::nullopt, "/m/a.flac", "", "Title", "Title"},
        {std::nullopt, "/m/untagged.flac", "Artist", "", "untagged.flac"},
        {std::nullopt, "/m/untagged.flac", "", "", "untagged.flac"},
        {std::nullopt, "", "", "", "Lumacore demo"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bannerTitle(c.given, c.path, c.artist, c.title), c.expected) << c.path;
}

} // namespace
} // namespace lumacore::cli
