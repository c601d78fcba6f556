#pragma once

// The pointer as a screen cast's buffers describe it in their cursor
// metadata (a spa_meta_cursor block, optionally followed by the cursor's
// picture). The block's position is the pointer's point relative to the
// stream; the hotspot only places the cursor's picture around it (the picture's
// corner is position minus hotspot), so it plays no part here.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/ScreenSource.h"

namespace lumivanta {

// Where the pointer is on a stream of width x height pixels, from a cursor
// metadata block of size bytes: not showing when the block says there is no
// cursor (id 0) or the pointer is off the stream; nothing when the block is
// missing or malformed (too small, or a picture that lies outside it), so
// that the last known place stays.
std::optional<PointerState> ReadCursorMetadata(const void* block, std::size_t size, std::uint32_t width,
                                               std::uint32_t height);

}  // namespace lumivanta
