#include "app/LogLine.h"

#include <algorithm>

#include "base/LocalTime.h"

namespace lumivanta {

std::string MakeLogLine(std::string_view text, bool with_time_stamp, bool first_line, std::time_t now) {
  std::string line = first_line ? "" : "\r\n";
  if (with_time_stamp) {
    line += FormatLocalTime("%d.%m.%Y %H:%M:%S : ", now);
  }
  line += text;
  return line;
}

std::string_view FitIntoLog(std::string_view line, std::size_t current_length) {
  const std::size_t room = current_length < kLogTextLimit ? kLogTextLimit - current_length : 0;
  return line.substr(0, std::min(room, line.size()));
}

unsigned RepeatCounter::Count(std::string_view text) {
  if (count_ > 0 && text == last_text_) {
    return ++count_;
  }
  last_text_ = text;
  count_ = 1;
  return count_;
}

std::string RepeatedLine(std::string_view line, unsigned count) {
  std::string repeated(line);
  if (count > 1) {
    repeated += " (repeated " + std::to_string(count) + " times)";
  }
  return repeated;
}

}  // namespace lumivanta
