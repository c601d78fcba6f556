#include "publish/Audience.h"

namespace lumivanta {

std::optional<std::uint32_t> ViewerCountOf(std::string_view header_value) {
  constexpr std::uint32_t kMost = 1'000'000'000;
  if (header_value.empty() || header_value.size() > 10) {
    return std::nullopt;
  }
  std::uint64_t count = 0;
  for (const char digit : header_value) {
    if (digit < '0' || digit > '9') {
      return std::nullopt;
    }
    count = count * 10 + static_cast<std::uint64_t>(digit - '0');
  }
  if (count > kMost) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(count);
}

bool AudienceLog::ShouldLog(std::uint32_t viewers, Clock::time_point now) {
  if (viewers == logged_) {
    return false;
  }
  const bool watched_or_left = (viewers == 0) != (logged_ == 0);
  if (!watched_or_left && logged_at_ && now - *logged_at_ < kQuietTime) {
    return false;
  }
  logged_ = viewers;
  logged_at_ = now;
  return true;
}

}  // namespace lumivanta
