// The fast scaling of 24-bit pictures, in separable fixed-point passes.

#include <cstring>

#include "pictures/CxImage.h"
#include "pictures/SeparableScaler.h"

namespace lumivanta {

bool CxImage::ScaleToFast(std::int32_t new_width, std::int32_t new_height) {
  return ScaleToFast(new_width, new_height, ActiveKernels());
}

bool CxImage::ScaleToFast(std::int32_t new_width, std::int32_t new_height, const PixelKernels& kernels) {
  if (new_width < 1 || new_height < 1 || !HasPixels()) {
    return false;
  }
  if (BitsPerPixel() != 24) {
    return ScaleTo(new_width, new_height);
  }
  const std::uint32_t width = Width();
  const std::uint32_t height = Height();
  const auto destination_width = static_cast<std::uint32_t>(new_width);
  const auto destination_height = static_cast<std::uint32_t>(new_height);
  if (destination_width == width && destination_height == height) {
    return true;
  }

  CxImage scaled(format_code_);
  scaled.CopyDescriptiveFields(*this);
  if (scaled.Create(destination_width, destination_height, 24, format_code_) == nullptr) {
    return false;
  }
  SeparableScaler scaler;
  if (!scaler.Prepare(width, height, destination_width, destination_height, 3)) {
    return false;
  }
  const SourceRows source{rows_, static_cast<std::ptrdiff_t>(stride_)};
  const std::uint32_t padding = scaled.stride_ - destination_width * 3;
  for (std::uint32_t dy = 0; dy < destination_height; ++dy) {
    progress_ = static_cast<std::int32_t>(100ULL * dy / destination_height);
    if (escape_ != 0) {
      break;
    }
    std::uint8_t* destination = scaled.rows_ + std::size_t{scaled.stride_} * dy;
    scaler.ScaleRow(source, dy, kernels, destination);
    std::memset(destination + destination_width * 3, 0, padding);
  }
  TakeOver(scaled);
  return true;
}

}  // namespace lumivanta
