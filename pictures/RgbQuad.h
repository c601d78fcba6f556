#pragma once

#include <cstdint>

namespace lumivanta {

// One colour in the byte order of a device-independent bitmap's palette.
// The reserved byte carries no meaning in this program.
struct RgbQuad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;

  friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};
static_assert(sizeof(RgbQuad) == 4);

}  // namespace lumivanta
