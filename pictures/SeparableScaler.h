#pragma once

// The fast scaling of 24-bit pixels from one size to another: the reference's
// weights computed once per column and once per row, then two fixed-point
// passes per destination row, first down the columns, then along the row. The
// source rows may hold 32-bit pixels (blue, green, red, unused) and may be
// read in either direction, so a captured screen is scaled straight into a
// bottom-up picture. The weights and working rows stay for as long as the
// sizes do.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pictures/PixelKernels.h"
#include "pictures/ResampleAxis.h"

namespace lumivanta {

// Where the source rows are: row i, counted in the destination's row order,
// starts at first + (i - first_row) * step bytes.
struct SourceRows {
  const std::uint8_t* first = nullptr;
  std::ptrdiff_t step = 0;
  std::ptrdiff_t first_row = 0;
};

// The columns first to first + count - 1.
struct ColumnSpan {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

class SeparableScaler {
 public:
  // Makes the weights and working rows for source pixels of bytes_per_pixel
  // (3 or 4) at the source size to the destination size (none of them 0);
  // keeps those it has when the sizes are those of the last call. False when
  // memory runs out.
  bool Prepare(std::uint32_t source_width, std::uint32_t source_height, std::uint32_t destination_width,
               std::uint32_t destination_height, std::uint32_t bytes_per_pixel);
  // Writes the destination_width 24-bit pixels of destination row dy.
  void ScaleRow(const SourceRows& source, std::uint32_t dy, const PixelKernels& kernels, std::uint8_t* destination);
  // Writes only the destination columns of row dy, into their places in the
  // destination row, reading only the source columns, which must hold every
  // column those pixels read; the source rows start at source_columns.first.
  // Gives the same bytes there as ScaleRow.
  void ScaleRowPart(const SourceRows& source, std::uint32_t dy, ColumnSpan source_columns,
                    ColumnSpan destination_columns, const PixelKernels& kernels, std::uint8_t* destination);

 private:
  struct Geometry {
    std::uint32_t source_width = 0;
    std::uint32_t source_height = 0;
    std::uint32_t destination_width = 0;
    std::uint32_t destination_height = 0;
    std::uint32_t bytes_per_pixel = 0;
    bool operator==(const Geometry&) const = default;
  };

  Geometry geometry_;  // all 0 until a Prepare succeeds
  ResampleAxis columns_;
  ResampleAxis rows_;
  std::vector<std::int16_t> column_weights_;
  std::vector<std::int16_t> between_passes_;
  std::vector<const std::uint8_t*> tap_rows_;
  std::vector<std::int16_t> tap_weights_;
};

}  // namespace lumivanta
