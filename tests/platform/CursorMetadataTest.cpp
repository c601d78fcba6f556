#include "platform/wayland/CursorMetadata.h"

#include <gtest/gtest.h>
#include <spa/buffer/meta.h>

#include <cstring>
#include <vector>

namespace lumivanta {
namespace {

// A cursor block with the pointer at (x, y) and hotspot (3, 2), followed by
// room for a picture's header.
std::vector<std::uint8_t> Block(std::uint32_t id, int x, int y, std::uint32_t bitmap_offset) {
  spa_meta_cursor cursor{};
  cursor.id = id;
  cursor.position = {x, y};
  cursor.hotspot = {3, 2};
  cursor.bitmap_offset = bitmap_offset;
  std::vector<std::uint8_t> block(sizeof(cursor) + sizeof(spa_meta_bitmap));
  std::memcpy(block.data(), &cursor, sizeof(cursor));
  return block;
}

std::optional<PointerState> Read(const std::vector<std::uint8_t>& block) {
  return ReadCursorMetadata(block.data(), block.size(), 1920, 1080);
}

TEST(CursorMetadata, ThePointerIsThePositionNotMovedByTheHotspotWhileItIsOnTheStream) {
  const auto with_picture = Read(Block(1, 100, 200, sizeof(spa_meta_cursor)));
  ASSERT_TRUE(with_picture);
  EXPECT_TRUE(with_picture->showing);
  EXPECT_EQ(with_picture->x, 100);
  EXPECT_EQ(with_picture->y, 200);
  const auto picture_unchanged = Read(Block(7, 1919, 1079, 0));
  ASSERT_TRUE(picture_unchanged);
  EXPECT_TRUE(picture_unchanged->showing);
  EXPECT_EQ(picture_unchanged->x, 1919);
  // Off the stream, on another monitor, or no cursor at all.
  for (const auto& block : {Block(1, 1920, 0, 0), Block(1, -1, 5, 0), Block(0, 100, 200, 0)}) {
    const auto pointer = Read(block);
    ASSERT_TRUE(pointer);
    EXPECT_FALSE(pointer->showing);
  }
}

TEST(CursorMetadata, AMissingOrMalformedBlockTellsNothing) {
  const std::vector<std::uint8_t> fine = Block(1, 100, 200, 0);
  EXPECT_FALSE(ReadCursorMetadata(nullptr, 64, 1920, 1080));
  EXPECT_FALSE(ReadCursorMetadata(fine.data(), sizeof(spa_meta_cursor) - 1, 1920, 1080));
  // A picture inside the cursor block's own fields, or past the block's end.
  EXPECT_FALSE(Read(Block(1, 100, 200, 4)));
  EXPECT_FALSE(Read(Block(1, 100, 200, sizeof(spa_meta_cursor) + 1)));
  EXPECT_FALSE(Read(Block(1, 100, 200, 0xffffffffu)));
  EXPECT_TRUE(ReadCursorMetadata(fine.data(), sizeof(spa_meta_cursor), 1920, 1080));
}

}  // namespace
}  // namespace lumivanta
