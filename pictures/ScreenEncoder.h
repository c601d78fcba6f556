#pragma once

// What the publish worker makes of a captured screen: a JPEG file of the
// target height at the quality of the quality index.

#include <cstdint>

#include "pictures/CxImage.h"
#include "pictures/MallocBuffer.h"

namespace lumivanta {

// 0 gives 25, 1 gives 60, 2 gives 99; any other index gives 25.
std::uint8_t JpegQualityForIndex(std::int32_t quality_index);

// The width that keeps the aspect ratio at the target height: width x target
// height rounded to single precision, divided in single precision, truncated.
// 0 when the result does not fit.
std::int32_t WidthForHeight(std::uint32_t width, std::uint32_t height, std::int32_t target_height);

// A JPEG file in memory from the C library's allocator.
struct EncodedPicture {
  MallocBuffer bytes;
  std::uint32_t byte_count = 0;
};

// A picture with pixels converted to 24 bits unless it is grey-scale, scaled
// to the target height (the fast path), encoded at the quality of the index.
// No bytes when the encoding failed.
EncodedPicture ConvertScaleEncode(CxImage& picture, std::int32_t target_height, std::int32_t quality_index);

}  // namespace lumivanta
