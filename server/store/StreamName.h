#pragma once

#include <cstddef>
#include <string_view>

namespace lumivanta::server {

inline constexpr std::size_t kMaxStreamNameLength = 93;

// True when the name is 1 to 93 characters from A-Z, a-z, 0-9, '_' and '-'.
// Only such names are stored, and only they may become part of a file name.
bool IsValidStreamName(std::string_view name);

}  // namespace lumivanta::server
