#pragma once

#include <cstddef>

#include "base/ByteSizes.h"

namespace lumivanta::server {

// The largest picture file loaded from the store directory: what the
// default request body limit lets an upload store.
inline constexpr std::size_t kMaxPictureFileBytes = 32 * kMebibyte;

// Bound on what the server keeps: past either number the names whose newest
// picture is oldest are dropped first.
struct StoreLimits {
  std::size_t max_names = 1000;
  std::size_t max_picture_bytes = 256 * kMebibyte;
};

}  // namespace lumivanta::server
