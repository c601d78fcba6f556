#pragma once

#include <cstdint>

namespace lumivanta {

// One palette colour as a picture's block stores it: blue, green, red, then a
// byte that carries no meaning in this program.
struct RgbQuad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;

  friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};
static_assert(sizeof(RgbQuad) == 4);

}  // namespace lumivanta
