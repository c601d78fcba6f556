#pragma once

// The inner loops that touch every pixel of a screen: turning captured rows
// into picture rows, and the two passes of the separable scaling. Each exists
// in a portable version and, on processors that have it, an AVX2 version; both
// give identical results.

#include <cstddef>
#include <cstdint>

namespace lumivanta {

// Fixed-point layout shared by the scaling passes: weights carry 14 fraction
// bits, the values between the two passes 6.
inline constexpr int kWeightFractionBits = 14;
inline constexpr int kBetweenPassesFractionBits = 6;

struct PixelKernels {
  const char* name = "";

  // Copies width 32-bit pixels (blue, green, red, unused) as 24-bit pixels.
  void (*bgrx_to_bgr)(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t width) = nullptr;

  // Vertical pass: for every byte i < byte_count, the weighted sum of the
  // taps rows with 6 fraction bits, each product rounded on its own:
  //   out[i] = sum over t < taps of round(rows[t][i] * weights[t] / 2^8).
  void (*vertical)(const std::uint8_t* const* rows, const std::int16_t* weights, std::uint32_t taps,
                   std::uint32_t byte_count, std::int16_t* out) = nullptr;

  // Horizontal pass over one row of 24-bit values with 6 fraction bits:
  // destination pixel d of count takes taps (even) consecutive source pixels
  // from first[d]; the result is (sum >> 20) clamped to [0, 255]. The
  // weights are in the layout of HorizontalWeightIndex. The source row must
  // be readable up to pixel first[d] + taps + 3 for every d.
  void (*horizontal)(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights,
                     std::uint32_t taps, std::uint32_t count, std::uint8_t* destination) = nullptr;

  // The same pass over a row of 32-bit values (blue, green, red, unused), as
  // the vertical pass leaves it for a captured screen: source pixels are four
  // values apart and the unused one is ignored. Same results, same reach.
  void (*horizontal_bgrx)(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights,
                          std::uint32_t taps, std::uint32_t count, std::uint8_t* destination) = nullptr;
};

// Position of the weight of tap t of destination pixel d: for each pair of
// taps eight values, the pair repeated for blue, green and red and then two
// zeros, in the order in which the kernels multiply the channels.
inline std::size_t HorizontalWeightIndex(std::uint32_t d, std::uint32_t t, std::uint32_t taps) {
  return (std::size_t{d} * (taps / 2) + t / 2) * 8 + t % 2;
}
inline std::size_t HorizontalWeightCount(std::uint32_t count, std::uint32_t taps) {
  return std::size_t{count} * (taps / 2) * 8;
}

const PixelKernels& PortableKernels();
// Null when this processor (or this compiler's target) has no AVX2.
const PixelKernels* Avx2Kernels();
// The fastest kernels this processor runs, chosen once.
const PixelKernels& ActiveKernels();

}  // namespace lumivanta
