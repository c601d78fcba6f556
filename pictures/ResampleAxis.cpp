#include "pictures/ResampleAxis.h"

#include <algorithm>
#include <cmath>

#include "pictures/CxImage.h"
#include "pictures/PixelKernels.h"
#include "pictures/ScaleGeometry.h"

namespace lumivanta {
namespace {

struct Tap {
  std::int64_t index = 0;
  double weight = 0.0;
};

// Source position of destination sample d, pixel centres at whole numbers.
float SourcePosition(std::uint32_t d, float scale) { return (static_cast<float>(d) + 0.5f) * scale - 0.5f; }

// Clamps the indices to the picture, merges the taps that land on the same
// edge sample, and stores the weights in fixed point. The weights are rounded
// by their running sum, so that the rounding errors do not add up.
// taps_of(d, taps) appends the taps of destination sample d, in index order.
template <typename TapsOf>
ResampleAxis BuildAxis(std::uint32_t source_size, std::uint32_t destination_size, TapsOf taps_of) {
  const auto last = static_cast<std::int64_t>(source_size) - 1;
  std::vector<Tap> taps;
  std::vector<double> merged_weights;
  std::vector<std::uint32_t> merged_count(destination_size);
  ResampleAxis axis;
  axis.first.resize(destination_size);
  std::uint32_t widest = 2;
  for (std::uint32_t d = 0; d < destination_size; ++d) {
    taps.clear();
    taps_of(d, taps);
    std::int64_t previous_index = -1;
    for (const Tap& tap : taps) {
      const std::int64_t index = std::clamp<std::int64_t>(tap.index, 0, last);
      if (index == previous_index) {
        merged_weights.back() += tap.weight;
      } else {
        if (previous_index < 0) {
          axis.first[d] = static_cast<std::uint32_t>(index);
        }
        merged_weights.push_back(tap.weight);
        ++merged_count[d];
        previous_index = index;
      }
    }
    widest = std::max(widest, merged_count[d]);
  }

  axis.taps = (widest + 1) / 2 * 2;
  axis.weights.assign(std::size_t{destination_size} * axis.taps, 0);
  constexpr double kOne = 1 << kWeightFractionBits;
  std::size_t next = 0;
  for (std::uint32_t d = 0; d < destination_size; ++d) {
    double running = 0.0;
    std::int64_t stored = 0;
    for (std::uint32_t t = 0; t < merged_count[d]; ++t) {
      running += merged_weights[next++];
      const auto target = static_cast<std::int64_t>(std::floor(running * kOne + 0.5));
      axis.weights[std::size_t{d} * axis.taps + t] = static_cast<std::int16_t>(target - stored);
      stored = target;
    }
  }
  return axis;
}

}  // namespace

ResampleAxis AreaAxis(std::uint32_t source_size, std::uint32_t destination_size, float scale) {
  return BuildAxis(source_size, destination_size, [scale](std::uint32_t d, std::vector<Tap>& taps) {
    const float centre = SourcePosition(d, scale);
    const float low = centre - scale / 2.0f;
    const float high = centre + scale / 2.0f;
    const auto i1 = static_cast<std::int32_t>(low + 0.5f);
    const auto i2 = static_cast<std::int32_t>(high + 0.5f);
    for (std::int32_t i = i1; i <= i2; ++i) {
      const float covered = i == i1 || i == i2 ? OverlapWithPixel(low, high, i) : 1.0f;
      taps.push_back(Tap{i, static_cast<double>(covered) / scale});
    }
  });
}

ResampleAxis CubicAxis(std::uint32_t source_size, std::uint32_t destination_size, float scale) {
  return BuildAxis(source_size, destination_size, [scale](std::uint32_t d, std::vector<Tap>& taps) {
    const float centre = SourcePosition(d, scale);
    const std::int32_t whole = PixelLeftOf(centre);
    for (std::int32_t i = 0; i < 4; ++i) {
      const std::int32_t index = whole - 1 + i;
      taps.push_back(Tap{index, CxImage::CubicKernel(static_cast<float>(index) - centre)});
    }
  });
}

ScaleAxes AxesFor(std::uint32_t source_width, std::uint32_t source_height, std::uint32_t destination_width,
                  std::uint32_t destination_height) {
  const float x_scale = static_cast<float>(source_width) / static_cast<float>(destination_width);
  const float y_scale = static_cast<float>(source_height) / static_cast<float>(destination_height);
  if (x_scale <= 1.0f && y_scale <= 1.0f) {
    return {CubicAxis(source_width, destination_width, x_scale), CubicAxis(source_height, destination_height, y_scale)};
  }
  return {AreaAxis(source_width, destination_width, x_scale), AreaAxis(source_height, destination_height, y_scale)};
}

}  // namespace lumivanta
