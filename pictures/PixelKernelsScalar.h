#pragma once

// One value of each scaling pass, shared by the portable kernels and by the
// ends of rows that the AVX2 kernels leave over.

#include <algorithm>
#include <cstdint>

#include "pictures/PixelKernels.h"

namespace lumivanta::scalar {

inline constexpr int kHorizontalShift = kWeightFractionBits + kBetweenPassesFractionBits;

// round(value * weight / 2^8) for a byte value, as the 16-bit multiply with
// rounding computes it: the value is taken times 2^7, the product rounded at
// bit 15.
inline std::int32_t RoundedProduct(std::uint8_t value, std::int16_t weight) {
  return (((value << 7) * weight >> 14) + 1) >> 1;
}

// The weights keep every sum within 16 bits (at most 1.25 * 255 * 2^6).
inline std::int16_t VerticalValue(const std::uint8_t* const* rows, const std::int16_t* weights, std::uint32_t taps,
                                  std::uint32_t i) {
  std::int32_t sum = 0;
  for (std::uint32_t t = 0; t < taps; ++t) {
    sum += RoundedProduct(rows[t][i], weights[t]);
  }
  return static_cast<std::int16_t>(sum);
}

// kValuesPerPixel is 3 for 24-bit rows and 4 for 32-bit ones, whose fourth
// value is left out.
template <std::uint32_t kValuesPerPixel>
inline void HorizontalPixel(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights,
                            std::uint32_t taps, std::uint32_t d, std::uint8_t* destination) {
  std::int32_t sum[3] = {0, 0, 0};
  const std::int16_t* pixel = source + std::size_t{first[d]} * kValuesPerPixel;
  for (std::uint32_t t = 0; t < taps; ++t) {
    const std::int32_t weight = weights[HorizontalWeightIndex(d, t, taps)];
    for (int c = 0; c < 3; ++c) {
      sum[c] += weight * pixel[t * kValuesPerPixel + c];
    }
  }
  for (int c = 0; c < 3; ++c) {
    destination[std::size_t{d} * 3 + c] = static_cast<std::uint8_t>(std::clamp(sum[c] >> kHorizontalShift, 0, 255));
  }
}

inline void BgrxPixelToBgr(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t x) {
  destination[x * 3] = source[x * 4];
  destination[x * 3 + 1] = source[x * 4 + 1];
  destination[x * 3 + 2] = source[x * 4 + 2];
}

}  // namespace lumivanta::scalar
