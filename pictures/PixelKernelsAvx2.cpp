// The AVX2 versions of the per-pixel loops. Only the functions marked with the
// avx2 target use these instructions, and they are called only after the
// processor has said it has them, so the program runs on any x86-64 processor.

#include "pictures/PixelKernels.h"
#include "pictures/PixelKernelsScalar.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LUMIVANTA_HAVE_AVX2_KERNELS 1
#include <immintrin.h>
#endif

namespace lumivanta {

#if defined(LUMIVANTA_HAVE_AVX2_KERNELS)
namespace {

#define LUMIVANTA_AVX2 __attribute__((target("avx2")))

using scalar::kHorizontalShift;

// Eight 32-bit pixels per step: each 128-bit lane drops its four unused
// bytes, then the two 12-byte halves are moved together.
LUMIVANTA_AVX2 void BgrxToBgr(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t width) {
  const __m256i drop_unused = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                               0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join_halves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  std::uint32_t x = 0;
  // Each store writes 32 bytes of which 24 are pixels; stop while the last
  // store still ends inside the row.
  for (; x + 11 <= width; x += 8) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + x * 4));
    const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, drop_unused), join_halves);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + x * 3), packed);
  }
  for (; x < width; ++x) {
    scalar::BgrxPixelToBgr(source, destination, x);
  }
}

// Sixteen values of one tap row, times the weight, rounded to 6 fraction bits.
LUMIVANTA_AVX2 inline __m256i WeightedRow(const std::uint8_t* row, __m256i weight) {
  const __m256i values = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
  return _mm256_mulhrs_epi16(_mm256_slli_epi16(values, 7), weight);
}

// How far ahead of the vertical pass each tap row is fetched into the cache.
// A captured screen has just been written by the X server and is read once,
// several rows at a time; the processor's own prefetching stops at every 4 KiB
// page of each row, so without this the pass waits on memory at each one
// (about twice as slow on a 3840x2160 screen). Prefetches never fault, so
// those past a row's end are harmless; their address is computed as an
// integer, as a pointer past the row's end would be undefined.
constexpr std::uint32_t kVerticalPrefetchBytes = 2048;

LUMIVANTA_AVX2 void Vertical(const std::uint8_t* const* rows, const std::int16_t* weights, std::uint32_t taps,
                             std::uint32_t byte_count, std::int16_t* out) {
  std::uint32_t i = 0;
  for (; i + 32 <= byte_count; i += 32) {
    __m256i low = _mm256_setzero_si256();
    __m256i high = _mm256_setzero_si256();
    for (std::uint32_t t = 0; t < taps; ++t) {
      _mm_prefetch(
          reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(rows[t]) + i + kVerticalPrefetchBytes),
          _MM_HINT_T0);
      const __m256i weight = _mm256_set1_epi16(weights[t]);
      low = _mm256_add_epi16(low, WeightedRow(rows[t] + i, weight));
      high = _mm256_add_epi16(high, WeightedRow(rows[t] + i + 16, weight));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), high);
  }
  for (; i < byte_count; ++i) {
    out[i] = scalar::VerticalValue(rows, weights, taps, i);
  }
}

// 32-bit blue, green, red and zero of destination pixel d, before the shift.
// Each pair of taps is one multiply-add: the words b0 g0 r0 b1 g1 r1 of two
// neighbouring source pixels (b0 g0 r0 x0 b1 g1 r1 x1 in 32-bit rows) are
// reordered to b0 b1 g0 g1 r0 r1 0 0 and multiplied by w0 w1 w0 w1 w0 w1 0 0.
// The four- and six-tap cases (every cubic and the usual reductions, and
// reductions by up to four and a half) are unrolled; 0 stands for any even
// number of taps. In 32-bit rows four taps are exactly one 256-bit load,
// whose two pairs are summed in its two halves; a sixth and fifth tap add one
// 128-bit pair.
template <std::uint32_t kValuesPerPixel, std::uint32_t kTaps>
LUMIVANTA_AVX2 inline __m128i PixelSum(const std::int16_t* source, const std::uint32_t* first,
                                       const std::int16_t* weights, std::uint32_t taps, std::uint32_t d) {
  static_assert(kValuesPerPixel == 3 || kValuesPerPixel == 4);
  const std::uint32_t tap_count = kTaps != 0 ? kTaps : taps;
  const std::int16_t* pixels = source + std::size_t{first[d]} * kValuesPerPixel;
  const std::int16_t* pair_weights = weights + HorizontalWeightIndex(d, 0, tap_count);
  if constexpr (kValuesPerPixel == 4 && (kTaps == 4 || kTaps == 6)) {
    const __m256i pairs_channels = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, -1, -1, -1, -1,  //
                                                    0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, -1, -1, -1, -1);
    const __m256i four = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
    const __m256i weight = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pair_weights));
    const __m256i products = _mm256_madd_epi16(_mm256_shuffle_epi8(four, pairs_channels), weight);
    __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(products), _mm256_extracti128_si256(products, 1));
    if constexpr (kTaps == 6) {
      const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 16));
      const __m128i pair_weight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair_weights + 16));
      sum = _mm_add_epi32(sum,
                          _mm_madd_epi16(_mm_shuffle_epi8(pair, _mm256_castsi256_si128(pairs_channels)), pair_weight));
    }
    return sum;
  } else {
    const __m128i pair_channels = kValuesPerPixel == 3
                                      ? _mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1)
                                      : _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, -1, -1, -1, -1);
    __m128i sum = _mm_setzero_si128();
    for (std::uint32_t t = 0; t < tap_count; t += 2) {
      const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + t * kValuesPerPixel));
      const __m128i weight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair_weights + t * 4));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_shuffle_epi8(pair, pair_channels), weight));
    }
    return sum;
  }
}

template <std::uint32_t kValuesPerPixel, std::uint32_t kTaps>
LUMIVANTA_AVX2 void HorizontalRow(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights,
                                  std::uint32_t taps, std::uint32_t count, std::uint8_t* destination) {
  const __m128i drop_zero_bytes = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::uint32_t d = 0;
  for (; d + 4 <= count; d += 4) {
    __m128i sums[4];
    for (std::uint32_t i = 0; i < 4; ++i) {
      sums[i] = _mm_srai_epi32(PixelSum<kValuesPerPixel, kTaps>(source, first, weights, taps, d + i), kHorizontalShift);
    }
    // The saturating packs clamp to [0, 255].
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sums[0], sums[1]), _mm_packs_epi32(sums[2], sums[3]));
    const __m128i pixels = _mm_shuffle_epi8(bytes, drop_zero_bytes);
    std::uint8_t* out = destination + std::size_t{d} * 3;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), pixels);
    const int last_four = _mm_extract_epi32(pixels, 2);
    __builtin_memcpy(out + 8, &last_four, 4);
  }
  for (; d < count; ++d) {
    scalar::HorizontalPixel<kValuesPerPixel>(source, first, weights, taps, d, destination);
  }
}

template <std::uint32_t kValuesPerPixel>
LUMIVANTA_AVX2 void Horizontal(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights,
                               std::uint32_t taps, std::uint32_t count, std::uint8_t* destination) {
  if (taps == 4) {
    HorizontalRow<kValuesPerPixel, 4>(source, first, weights, taps, count, destination);
  } else if (taps == 6) {
    HorizontalRow<kValuesPerPixel, 6>(source, first, weights, taps, count, destination);
  } else {
    HorizontalRow<kValuesPerPixel, 0>(source, first, weights, taps, count, destination);
  }
}

#undef LUMIVANTA_AVX2

}  // namespace
#endif

const PixelKernels* Avx2Kernels() {
#if defined(LUMIVANTA_HAVE_AVX2_KERNELS)
  static const PixelKernels kernels{"avx2", BgrxToBgr, Vertical, Horizontal<3>, Horizontal<4>};
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported ? &kernels : nullptr;
#else
  return nullptr;
#endif
}

}  // namespace lumivanta
