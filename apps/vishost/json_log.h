// The run's report as JSON, written by hand. Text from the plug-in (titles, message box texts)
// is taken byte for byte: bytes 0x80..0xFF are written as \u0080..\u00FF, so nothing is lost
// and the log is always valid UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "report.h"

namespace lumacore::vishost {

// A JSON string literal, quotes included.
std::string jsonString(std::string_view text);

// The name of a window message ("WM_KEYUP"), or "" for one without a known name.
std::string messageName(unsigned message);

std::string reportJson(const Report& report);

// Writes reportJson(report) to `path`. Returns "" or the problem.
std::string writeReport(const std::string& path, const Report& report);

} // namespace lumacore::vishost
