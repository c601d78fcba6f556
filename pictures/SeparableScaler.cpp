#include "pictures/SeparableScaler.h"

#include <algorithm>
#include <new>
#include <utility>

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

bool SeparableScaler::Prepare(std::uint32_t source_width, std::uint32_t source_height, std::uint32_t destination_width,
                              std::uint32_t destination_height, std::uint32_t bytes_per_pixel) {
  const Geometry wanted{source_width, source_height, destination_width, destination_height, bytes_per_pixel};
  if (wanted == geometry_) {
    return true;
  }
  geometry_ = Geometry{};
  try {
    ScaleAxes axes = AxesFor(source_width, source_height, destination_width, destination_height);
    columns_ = std::move(axes.columns);
    rows_ = std::move(axes.rows);
    column_weights_ = HorizontalWeights(columns_);
    // One row after the vertical pass, with room for the horizontal kernels'
    // reads past the last pixel (zero, and weighted 0).
    between_passes_.assign((std::size_t{source_width} + columns_.taps + 4) * bytes_per_pixel, 0);
    tap_rows_.resize(rows_.taps);
    tap_weights_.resize(rows_.taps);
  } catch (const std::bad_alloc&) {
    return false;
  }
  geometry_ = wanted;
  return true;
}

void SeparableScaler::ScaleRow(const SourceRows& source, std::uint32_t dy, const PixelKernels& kernels,
                               std::uint8_t* destination) {
  ScaleRowPart(source, dy, ColumnSpan{0, geometry_.source_width}, ColumnSpan{0, geometry_.destination_width}, kernels,
               destination);
}

void SeparableScaler::ScaleRowPart(const SourceRows& source, std::uint32_t dy, ColumnSpan source_columns,
                                   ColumnSpan destination_columns, const PixelKernels& kernels,
                                   std::uint8_t* destination) {
  // Rows weighted 0 (the padding of the tap list) are left out.
  std::uint32_t used_taps = 0;
  for (std::uint32_t t = 0; t < rows_.taps; ++t) {
    const std::int16_t weight = rows_.weights[std::size_t{dy} * rows_.taps + t];
    if (weight != 0) {
      const std::uint32_t row = std::min(rows_.first[dy] + t, geometry_.source_height - 1);
      tap_rows_[used_taps] = source.first + source.step * (static_cast<std::ptrdiff_t>(row) - source.first_row);
      tap_weights_[used_taps] = weight;
      ++used_taps;
    }
  }
  // The vertical pass leaves the source's columns where the whole row would
  // put them, so that the column weights apply unchanged.
  const std::uint32_t bytes_per_pixel = geometry_.bytes_per_pixel;
  kernels.vertical(tap_rows_.data(), tap_weights_.data(), used_taps, source_columns.count * bytes_per_pixel,
                   between_passes_.data() + std::size_t{source_columns.first} * bytes_per_pixel);
  const auto horizontal = bytes_per_pixel == 4 ? kernels.horizontal_bgrx : kernels.horizontal;
  const std::uint32_t first = destination_columns.first;
  horizontal(between_passes_.data(), columns_.first.data() + first,
             column_weights_.data() + HorizontalWeightIndex(first, 0, columns_.taps), columns_.taps,
             destination_columns.count, destination + std::size_t{first} * 3);
}

}  // namespace lumivanta
