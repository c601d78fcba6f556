#pragma once

#include <cstddef>

namespace lumivanta::server {

inline constexpr std::size_t kMebibyte = 1024 * 1024;

// Larger request bodies are refused with 413 before they are read.
inline constexpr std::size_t kMaxRequestBodyBytes = 32 * kMebibyte;

// Bound on what the server keeps: past either number the names whose newest
// picture is oldest are dropped first.
struct StoreLimits {
  std::size_t max_names = 1000;
  std::size_t max_picture_bytes = 256 * kMebibyte;
};

}  // namespace lumivanta::server
