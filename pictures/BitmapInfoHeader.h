#pragma once

#include <bit>
#include <cstdint>

namespace lumivanta {

// The 40-byte header that opens a picture's block: its size, depth, pixel
// count and resolution. Its in-memory form is the stored form on a
// little-endian machine.
struct BitmapInfoHeader {
  std::uint32_t header_size = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: rows are stored bottom row first
  std::uint16_t planes = 0;
  std::uint16_t bits_per_pixel = 0;
  std::uint32_t compression = 0;
  std::uint32_t image_size = 0;
  std::int32_t x_pixels_per_metre = 0;
  std::int32_t y_pixels_per_metre = 0;
  std::uint32_t colours_used = 0;
  std::uint32_t colours_important = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(std::endian::native == std::endian::little, "the bitmap header is copied as it is in memory");

}  // namespace lumivanta
