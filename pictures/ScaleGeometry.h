#pragma once

// Geometry shared by the reference scaling and its fast path, so that both
// place source pixels and their weights the same way.

#include <algorithm>
#include <cstdint>

namespace lumivanta {

// The pixel at or left of a sampling position: the position truncated, and
// one less left of pixel 0, where truncation would go right. (At a whole
// negative position it is the pixel one further left; the cubic weights of
// that pixel and of the next are 0 there, so the sample stays the same.)
inline std::int32_t PixelLeftOf(float position) {
  std::int32_t pixel = static_cast<std::int32_t>(position);
  if (position < 0) {
    --pixel;
  }
  return pixel;
}

// Width of the part of [low, high] inside the unit square of pixel i.
inline float OverlapWithPixel(float low, float high, std::int32_t i) {
  const float pixel_low = static_cast<float>(i) - 0.5f;
  const float pixel_high = static_cast<float>(i) + 0.5f;
  return std::max(0.0f, std::min(high, pixel_high) - std::max(low, pixel_low));
}

}  // namespace lumivanta
