// Built with AVX2 enabled for the whole file, so it includes nothing but
// xxHash, whose functions are all local to it here: no C++ library code that
// another file could share gets compiled with instructions some processors lack.

#include "server/store/Xxh3Avx2.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace lumivanta::server {

void Xxh3Avx2Canonical(const void* data, std::size_t size, unsigned char* canonical) {
  XXH128_canonical_t result;
  XXH128_canonicalFromHash(&result, XXH3_128bits(data, size));
  for (std::size_t i = 0; i < sizeof result.digest; ++i) {
    canonical[i] = result.digest[i];
  }
}

}  // namespace lumivanta::server
