#pragma once

// The audience a server reports with each upload it takes: the
// X-Lumivanta-Viewers header counts the viewers of the contact name. Servers
// that send no such header report nothing, and nothing changes.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumivanta {

inline constexpr std::string_view kViewersHeader = "X-Lumivanta-Viewers";

// The count in the header's value: decimal digits only, at most a billion;
// nothing for anything else (no header, junk, a sign, an overflow).
std::optional<std::uint32_t> ViewerCountOf(std::string_view header_value);

// When a count is worth a line in the log: at once when viewers come to a
// screen nobody watched or the last one leaves, and for other changes at most
// once a minute, so a busy audience does not fill the log.
class AudienceLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::minutes kQuietTime{1};

  // True when the count should be logged now; it then counts as logged.
  bool ShouldLog(std::uint32_t viewers, Clock::time_point now);

 private:
  std::uint32_t logged_ = 0;
  std::optional<Clock::time_point> logged_at_;
};

}  // namespace lumivanta
