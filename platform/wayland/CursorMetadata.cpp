#include "platform/wayland/CursorMetadata.h"

#include <spa/buffer/meta.h>

#include <cstring>

namespace lumivanta {

std::optional<PointerState> ReadCursorMetadata(const void* block, std::size_t size, std::uint32_t width,
                                               std::uint32_t height) {
  if (block == nullptr || size < sizeof(spa_meta_cursor)) {
    return std::nullopt;
  }
  // Copied out: the block need not be aligned.
  spa_meta_cursor cursor{};
  std::memcpy(&cursor, block, sizeof(cursor));
  if (cursor.id == 0) {
    return PointerState{};
  }
  // A picture offset of 0 means the cursor's picture is unchanged; any other
  // must leave room for the picture's header inside the block.
  if (cursor.bitmap_offset != 0 && (cursor.bitmap_offset < sizeof(spa_meta_cursor) || size < sizeof(spa_meta_bitmap) ||
                                    cursor.bitmap_offset > size - sizeof(spa_meta_bitmap))) {
    return std::nullopt;
  }
  const std::int64_t x = cursor.position.x;
  const std::int64_t y = cursor.position.y;
  if (x < 0 || y < 0 || x >= width || y >= height) {
    return PointerState{};
  }
  return PointerState{.showing = true, .x = static_cast<int>(x), .y = static_cast<int>(y)};
}

}  // namespace lumivanta
