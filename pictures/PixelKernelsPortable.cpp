// The portable versions of the per-pixel loops, for every processor.

#include <cstring>

#include "pictures/PixelKernels.h"
#include "pictures/PixelKernelsScalar.h"

namespace lumivanta {
namespace {

// Four pixels at a time as three 32-bit words: p0 | p1 << 24, p1 >> 8 | p2 << 16, p2 >> 16 | p3 << 8.
void BgrxToBgr(const std::uint8_t* source, std::uint8_t* destination, std::uint32_t width) {
  std::uint32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    std::uint32_t p[4];
    std::memcpy(p, source + x * 4, sizeof(p));
    const std::uint32_t packed[3] = {
        (p[0] & 0xFFFFFFu) | (p[1] << 24),
        ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
        ((p[2] >> 16) & 0xFFu) | (p[3] << 8),
    };
    std::memcpy(destination + x * 3, packed, sizeof(packed));
  }
  for (; x < width; ++x) {
    scalar::BgrxPixelToBgr(source, destination, x);
  }
}

void Vertical(const std::uint8_t* const* rows, const std::int16_t* weights, std::uint32_t taps,
              std::uint32_t byte_count, std::int16_t* out) {
  for (std::uint32_t i = 0; i < byte_count; ++i) {
    out[i] = scalar::VerticalValue(rows, weights, taps, i);
  }
}

template <std::uint32_t kValuesPerPixel>
void Horizontal(const std::int16_t* source, const std::uint32_t* first, const std::int16_t* weights, std::uint32_t taps,
                std::uint32_t count, std::uint8_t* destination) {
  for (std::uint32_t d = 0; d < count; ++d) {
    scalar::HorizontalPixel<kValuesPerPixel>(source, first, weights, taps, d, destination);
  }
}

}  // namespace

const PixelKernels& PortableKernels() {
  static const PixelKernels kernels{"portable", BgrxToBgr, Vertical, Horizontal<3>, Horizontal<4>};
  return kernels;
}

const PixelKernels& ActiveKernels() {
  static const PixelKernels& kernels = Avx2Kernels() != nullptr ? *Avx2Kernels() : PortableKernels();
  return kernels;
}

}  // namespace lumivanta
