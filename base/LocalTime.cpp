#include "base/LocalTime.h"

#include <array>

namespace lumivanta {

std::string FormatLocalTime(const char* format, std::time_t when) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) {
    return {};
  }
  std::array<char, 128> buffer{};
  const std::size_t length = std::strftime(buffer.data(), buffer.size(), format, &local);
  return std::string(buffer.data(), length);
}

}  // namespace lumivanta
