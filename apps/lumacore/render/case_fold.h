// Names as a case-insensitive file system (exFAT, FAT, NTFS, most SMB shares) compares them.
#pragma once

#include <string>

namespace lumacore::cli {

// `name` with every letter in lower case: UTF-8 decoded, each character lowered by the Unicode
// tables of the C.UTF-8 locale (ASCII alone when that locale is missing), and encoded again.
// Bytes that are not UTF-8 stay as they are. Two names that fold alike are one file there.
std::string caseFolded(const std::string& name);

} // namespace lumacore::cli
