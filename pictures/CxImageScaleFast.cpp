// The fast scaling of 24-bit pictures: the reference's weights computed once
// per column and once per row, then two fixed-point passes per destination
// row, first down the columns, then along the row.

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "pictures/CxImage.h"
#include "pictures/ResampleAxis.h"

namespace lumivanta {
namespace {

// The column weights in the layout the horizontal kernels read.
std::vector<std::int16_t> HorizontalWeights(const ResampleAxis& columns) {
  const auto count = static_cast<std::uint32_t>(columns.first.size());
  std::vector<std::int16_t> laid_out(HorizontalWeightCount(count, columns.taps), 0);
  for (std::uint32_t d = 0; d < count; ++d) {
    for (std::uint32_t t = 0; t < columns.taps; ++t) {
      const std::size_t at = HorizontalWeightIndex(d, t, columns.taps);
      const std::int16_t weight = columns.weights[std::size_t{d} * columns.taps + t];
      laid_out[at] = weight;
      laid_out[at + 2] = weight;
      laid_out[at + 4] = weight;
    }
  }
  return laid_out;
}

}  // namespace

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
  const float x_scale = static_cast<float>(width) / static_cast<float>(new_width);
  const float y_scale = static_cast<float>(height) / static_cast<float>(new_height);

  CxImage scaled(format_code_);
  scaled.CopyDescriptiveFields(*this);
  if (scaled.Create(destination_width, destination_height, 24, format_code_) == nullptr) {
    return false;
  }

  const bool interpolate = x_scale <= 1.0f && y_scale <= 1.0f;
  ResampleAxis columns;
  ResampleAxis rows;
  std::vector<std::int16_t> column_weights;
  std::vector<std::int16_t> between_passes;
  std::vector<const std::uint8_t*> tap_rows;
  std::vector<std::int16_t> tap_weights;
  try {
    columns = interpolate ? CubicAxis(width, destination_width, x_scale) : AreaAxis(width, destination_width, x_scale);
    rows = interpolate ? CubicAxis(height, destination_height, y_scale) : AreaAxis(height, destination_height, y_scale);
    column_weights = HorizontalWeights(columns);
    // One row after the vertical pass, with room for the horizontal kernels'
    // reads past the last pixel (zero, and weighted 0).
    between_passes.assign((std::size_t{width} + columns.taps + 4) * 3, 0);
    tap_rows.resize(rows.taps);
    tap_weights.resize(rows.taps);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::uint32_t padding = scaled.stride_ - destination_width * 3;

  for (std::uint32_t dy = 0; dy < destination_height; ++dy) {
    progress_ = static_cast<std::int32_t>(100ULL * dy / destination_height);
    if (escape_ != 0) {
      break;
    }
    // Rows weighted 0 (the padding of the tap list) are left out.
    std::uint32_t used_taps = 0;
    for (std::uint32_t t = 0; t < rows.taps; ++t) {
      const std::int16_t weight = rows.weights[std::size_t{dy} * rows.taps + t];
      if (weight != 0) {
        tap_rows[used_taps] = rows_ + std::size_t{stride_} * std::min(rows.first[dy] + t, height - 1);
        tap_weights[used_taps] = weight;
        ++used_taps;
      }
    }
    kernels.vertical(tap_rows.data(), tap_weights.data(), used_taps, width * 3, between_passes.data());
    std::uint8_t* destination = scaled.rows_ + std::size_t{scaled.stride_} * dy;
    kernels.horizontal(between_passes.data(), columns.first.data(), column_weights.data(), columns.taps,
                       destination_width, destination);
    std::memset(destination + destination_width * 3, 0, padding);
  }
  TakeOver(scaled);
  return true;
}

}  // namespace lumivanta
