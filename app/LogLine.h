#pragma once

// The lines of the activity log.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace lumivanta {

// The log holds at most this many characters; later text is cut at the limit.
inline constexpr std::size_t kLogTextLimit = 0xFFFFF;

// What one entry appends to the log: a line break unless it is the first
// line, then, when asked, the local time as "%d.%m.%Y %H:%M:%S : " (nothing
// when the local time cannot be had), then the text.
std::string MakeLogLine(std::string_view text, bool with_time_stamp, bool first_line, std::time_t now);

// The part of line that still fits into a log of current_length characters.
std::string_view FitIntoLog(std::string_view line, std::size_t current_length);

}  // namespace lumivanta
