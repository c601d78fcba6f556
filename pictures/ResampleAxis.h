#pragma once

// The weights of the fast scaling along one axis, computed once per call:
// destination sample d reads taps consecutive source samples from first[d].
// They follow the reference scaling's positions and weights in single
// precision, with source indices clamped to the edge.

#include <cstdint>
#include <vector>

namespace lumivanta {

struct ResampleAxis {
  std::uint32_t taps = 0;             // even, at least 2
  std::vector<std::uint32_t> first;   // one per destination sample
  std::vector<std::int16_t> weights;  // taps per destination sample, 14 fraction bits
};

// Area averaging, used when either scale factor is above 1.
ResampleAxis AreaAxis(std::uint32_t source_size, std::uint32_t destination_size, float scale);
// Cubic convolution, used when neither scale factor is above 1.
ResampleAxis CubicAxis(std::uint32_t source_size, std::uint32_t destination_size, float scale);

// The columns' and the rows' weights for scaling from one size to another
// (none of them 0): cubic when neither scale factor is above 1, else area.
struct ScaleAxes {
  ResampleAxis columns;
  ResampleAxis rows;
};
ScaleAxes AxesFor(std::uint32_t source_width, std::uint32_t source_height, std::uint32_t destination_width,
                  std::uint32_t destination_height);

}  // namespace lumivanta
