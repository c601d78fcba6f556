#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace lumivanta {

// A point of a picture in pixels, counted from its top-left corner.
struct PixelPoint {
  int x = 0;
  int y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// A rectangle of a picture in pixels, its left and top edges counted from the
// picture's top-left corner.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  bool IsEmpty() const { return width <= 0 || height <= 0; }
  int Right() const { return x + width; }
  int Bottom() const { return y + height; }
  bool operator==(const PixelRect&) const = default;
};

// A part of a screen grabbed on its own: where it lies on the screen, and
// where its rows (4 * rect.width bytes apart) start in the screen's pixels.
struct ScreenPart {
  PixelRect rect;
  std::size_t offset = 0;
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
  // Empty when the pixels hold the whole screen (width x height, rows
  // bytes_per_row apart). Otherwise only these parts of the screen were
  // grabbed, one after the other in the pixels; the rest of the screen is as
  // it was in the screen encoded before.
  std::vector<ScreenPart> parts;
};

// Whether the pixels are there, after waiting for them where they were still on their way.
inline bool AwaitPixels(const ScreenImage& screen) { return !screen.await_pixels || screen.await_pixels(); }

// True when the rows are at least 4 * width bytes apart and the pixels reach
// to the end of the last row; a screen of no rows holds all of them. A screen
// of parts: when every part lies on the screen and within the pixels.
inline bool HoldsAllRows(const ScreenImage& screen) {
  for (const ScreenPart& part : screen.parts) {
    const PixelRect& rect = part.rect;
    if (rect.IsEmpty() || rect.x < 0 || rect.y < 0) {
      return false;
    }
    const auto right = static_cast<std::uint64_t>(rect.x) + static_cast<std::uint64_t>(rect.width);
    const auto bottom = static_cast<std::uint64_t>(rect.y) + static_cast<std::uint64_t>(rect.height);
    const std::uint64_t bytes = static_cast<std::uint64_t>(rect.width) * 4 * static_cast<std::uint64_t>(rect.height);
    if (right > screen.width || bottom > screen.height || part.offset + bytes > screen.pixels.size()) {
      return false;
    }
  }
  if (!screen.parts.empty()) {
    return true;
  }
  const std::uint64_t row_bytes = std::uint64_t{screen.width} * 4;
  const std::uint64_t needed =
      screen.height == 0 ? 0 : std::uint64_t{screen.bytes_per_row} * (screen.height - 1) + row_bytes;
  return screen.bytes_per_row >= row_bytes && screen.pixels.size() >= needed;
}

}  // namespace lumivanta
