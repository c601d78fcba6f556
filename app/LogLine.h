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

// Counts how often the same text has come in a row, so that an entry that
// repeats the one before it (its stamp aside) is folded into that one.
class RepeatCounter {
 public:
  // How many times in a row text has come now: 1 for a text other than the last one.
  unsigned Count(std::string_view text);

 private:
  std::string last_text_;
  unsigned count_ = 0;
};

// line as it stands after count occurrences in a row: with " (repeated N
// times)" from the second on.
std::string RepeatedLine(std::string_view line, unsigned count);

}  // namespace lumivanta
