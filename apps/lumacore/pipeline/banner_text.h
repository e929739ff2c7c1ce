// The banner strip's text: titles arrive as UTF-8 (tags, the command line) while the text
// renderer reads bytes in Windows code page 1252, as the plug-in gets them from the player.
#pragma once

#include <string>
#include <string_view>

namespace lumacore::cli {

// `utf8` in Windows-1252. Characters that code page lacks, and every ill-formed UTF-8 sequence
// (one '?' for each maximal part of it, as Unicode recommends), become '?'.
std::string utf8ToWindows1252(std::string_view utf8);

// Windows-1252 bytes back in UTF-8 (for a text renderer that takes Unicode); the code page's five
// unused bytes become U+FFFD.
std::string windows1252ToUtf8(std::string_view bytes);

} // namespace lumacore::cli
