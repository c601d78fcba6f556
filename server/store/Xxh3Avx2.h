#pragma once

#include <cstddef>

namespace lumivanta::server {

// XXH3's 128-bit hash of size bytes at data, written to canonical as its 16
// bytes in canonical order, computed with AVX2 instructions: twice as fast as
// the SSE2 code every x86-64 processor runs, and the same result. Call it only
// where the processor has AVX2.
void Xxh3Avx2Canonical(const void* data, std::size_t size, unsigned char* canonical);

}  // namespace lumivanta::server
