#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "server/store/ImmutableBytes.h"

namespace lumivanta::server {

// The bytes of a picture are shared and never changed, so a response can keep
// sending them after the index has moved on to a newer picture.
using PictureBytes = SharedBytes;

struct Picture {
  PictureBytes bytes;
  // Grows with every picture stored; a viewer compares it to notice a new picture.
  std::uint64_t sequence = 0;
  std::chrono::system_clock::time_point uploaded_at;
  // PictureDigest of the bytes; the picture's ETag.
  std::string digest;
};

}  // namespace lumivanta::server
