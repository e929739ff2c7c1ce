// The banner strip's text: titles arrive as UTF-8 (tags, the command line) while the text
// renderer reads bytes in Windows code page 1252, as the plug-in gets them from the player.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumacore::cli {

// `utf8` in Windows-1252. Characters that code page lacks, and every ill-formed UTF-8 sequence
// (one '?' for each maximal part of it, as Unicode recommends), become '?'.
std::string utf8ToWindows1252(std::string_view utf8);

// Windows-1252 bytes back in UTF-8 (for a text renderer that takes Unicode); the code page's five
// unused bytes become U+FFFD.
std::string windows1252ToUtf8(std::string_view bytes);

// The banner title: the given one, else "Artist - Title" from the tags, else the title, else the
// file name ("Lumacore demo" for the built-in tune, which has no file).
std::string bannerTitle(const std::optional<std::string>& given, const std::string& path,
                        const std::string& artist, const std::string& title);

} // namespace lumacore::cli
