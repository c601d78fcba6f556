#pragma once

#include <cstddef>

namespace lumivanta {

inline constexpr std::size_t kKibibyte = 1024;
inline constexpr std::size_t kMebibyte = 1024 * kKibibyte;

}  // namespace lumivanta
