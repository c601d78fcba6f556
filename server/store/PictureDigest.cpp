#include "server/store/PictureDigest.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <array>

namespace lumivanta::server {

std::string PictureDigest(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
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
