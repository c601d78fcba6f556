#include "server/store/PictureDigest.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <array>

#if defined(LUMIVANTA_XXH3_AVX2)
#include "server/store/Xxh3Avx2.h"
#endif

namespace lumivanta::server {

namespace {

XXH128_canonical_t CanonicalHash(std::string_view bytes) {
  XXH128_canonical_t canonical;
#if defined(LUMIVANTA_XXH3_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    Xxh3Avx2Canonical(bytes.data(), bytes.size(), canonical.digest);
    return canonical;
  }
#endif
  XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
  return canonical;
}

}  // namespace

std::string PictureDigest(std::string_view bytes) {
  const XXH128_canonical_t canonical = CanonicalHash(bytes);
  constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                         '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  std::string text;
  text.reserve(2 * sizeof(canonical.digest));
  for (const unsigned char byte : canonical.digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0f];
  }
  return text;
}

}  // namespace lumivanta::server
