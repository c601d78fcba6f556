#pragma once

// Geometry shared by the reference scaling and its fast path, so that both
// place source pixels and their weights the same way.

#include <algorithm>
#include <cstdint>

namespace lumivanta {

// Integer part by truncation, one less for negative values.
inline std::int32_t FloorAsWritten(float value) {
  std::int32_t whole = static_cast<std::int32_t>(value);
  if (value < 0) {
    --whole;
  }
  return whole;
}

// Width of the part of [low, high] inside the unit square of pixel i.
inline float OverlapWithPixel(float low, float high, std::int32_t i) {
  const float pixel_low = static_cast<float>(i) - 0.5f;
  const float pixel_high = static_cast<float>(i) + 0.5f;
  return std::max(0.0f, std::min(high, pixel_high) - std::max(low, pixel_low));
}

}  // namespace lumivanta
