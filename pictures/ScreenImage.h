#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace lumivanta {

// A point of a picture in pixels, counted from its top-left corner.
struct PixelPoint {
  int x = 0;
  int y = 0;
};

// A captured screen as the platform's grab fills it: 32-bit pixels in the byte
// order blue, green, red, unused, top row first. The pixels travel to the
// publish job without being copied: keeper holds them, and while any copy of
// it lives the screen source grabs into other memory, so the job may read
// the pixels, and draw the pointer arrow into them, on its own thread.
struct ScreenImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_row = 0;
  std::span<std::uint8_t> pixels;
  std::shared_ptr<const void> keeper;
  // Where the tip of the pointer arrow goes; nothing when the picture shows no pointer.
  std::optional<PixelPoint> pointer_arrow;
  // Set while the pixels may still be on their way (the display server writes
  // them into memory that pixels already points at): waits for them, on the
  // thread that reads them, and tells whether they came; asking again gives
  // the same answer at once.
  std::function<bool()> await_pixels;
};

// Whether the pixels are there, after waiting for them where they were still on their way.
inline bool AwaitPixels(const ScreenImage& screen) { return !screen.await_pixels || screen.await_pixels(); }

// True when the rows are at least 4 * width bytes apart and the pixels reach
// to the end of the last row; a screen of no rows holds all of them.
inline bool HoldsAllRows(const ScreenImage& screen) {
  const std::uint64_t row_bytes = std::uint64_t{screen.width} * 4;
  const std::uint64_t needed =
      screen.height == 0 ? 0 : std::uint64_t{screen.bytes_per_row} * (screen.height - 1) + row_bytes;
  return screen.bytes_per_row >= row_bytes && screen.pixels.size() >= needed;
}

}  // namespace lumivanta
