#pragma once

#include <cstdint>
#include <span>

namespace lumivanta {

// A captured screen as the platform layer hands it over: 32-bit pixels in the
// byte order blue, green, red, unused, top row first. The pixels are only
// borrowed; CxImage::CreateFromBitmap copies them.
struct ScreenImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_row = 0;
  std::span<const std::uint8_t> pixels;
};

}  // namespace lumivanta
