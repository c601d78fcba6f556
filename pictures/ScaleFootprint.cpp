#include "pictures/ScaleFootprint.h"

#include <algorithm>

#include "pictures/ResampleAxis.h"

namespace lumivanta {
namespace {

// The samples each destination sample reads: from its first tap to its last
// tap of non-zero weight, widened where needed so that both ends only grow
// with the destination sample (the searches below rely on it).
void ReadSpans(const ResampleAxis& axis, std::vector<std::uint32_t>& low, std::vector<std::uint32_t>& high) {
  const std::size_t count = axis.first.size();
  low.resize(count);
  high.resize(count);
  for (std::size_t d = 0; d < count; ++d) {
    std::uint32_t reach = 1;
    for (std::uint32_t t = 0; t < axis.taps; ++t) {
      if (axis.weights[d * axis.taps + t] != 0) {
        reach = t + 1;
      }
    }
    low[d] = axis.first[d];
    high[d] = std::max(axis.first[d] + reach, d > 0 ? high[d - 1] : 0);
  }
  for (std::size_t d = count; d-- > 1;) {
    low[d - 1] = std::min(low[d - 1], low[d]);
  }
}

}  // namespace

ScaleFootprint::ScaleFootprint(std::uint32_t screen_width, std::uint32_t screen_height, std::uint32_t picture_width,
                               std::uint32_t picture_height) {
  const ScaleAxes axes = AxesFor(screen_width, screen_height, picture_width, picture_height);
  ReadSpans(axes.columns, columns_.low, columns_.high);
  columns_.source_size = screen_width;
  // The scaling counts rows from the bottom on both sides: turned round here.
  std::vector<std::uint32_t> low;
  std::vector<std::uint32_t> high;
  ReadSpans(axes.rows, low, high);
  rows_.source_size = screen_height;
  rows_.low.resize(picture_height);
  rows_.high.resize(picture_height);
  for (std::uint32_t row = 0; row < picture_height; ++row) {
    const std::uint32_t from_bottom = picture_height - 1 - row;
    rows_.low[row] = screen_height - high[from_bottom];
    rows_.high[row] = screen_height - low[from_bottom];
  }
}

ScaleFootprint::Span ScaleFootprint::SourceFor(const Axis& axis, Span changed) {
  changed.first = std::max(changed.first, 0);
  changed.end = std::min(changed.end, static_cast<int>(axis.source_size));
  if (changed.end <= changed.first) {
    return {};
  }
  const auto first = static_cast<std::uint32_t>(changed.first);
  const auto end = static_cast<std::uint32_t>(changed.end);
  // The first sample reading past the change's start, and the first reading
  // only after its end.
  const auto touched_first = std::upper_bound(axis.high.begin(), axis.high.end(), first) - axis.high.begin();
  const auto touched_end = std::lower_bound(axis.low.begin(), axis.low.end(), end) - axis.low.begin();
  if (touched_end <= touched_first) {
    return {};
  }
  return {static_cast<int>(axis.low[static_cast<std::size_t>(touched_first)]),
          static_cast<int>(axis.high[static_cast<std::size_t>(touched_end - 1)])};
}

ScaleFootprint::Span ScaleFootprint::PixelsWithin(const Axis& axis, Span part) {
  if (part.end <= part.first || part.end <= 0) {
    return {};
  }
  const auto first = static_cast<std::uint32_t>(std::max(part.first, 0));
  const auto end = static_cast<std::uint32_t>(part.end);
  const auto within_first = std::lower_bound(axis.low.begin(), axis.low.end(), first) - axis.low.begin();
  const auto within_end = std::upper_bound(axis.high.begin(), axis.high.end(), end) - axis.high.begin();
  if (within_end <= within_first) {
    return {};
  }
  return {static_cast<int>(within_first), static_cast<int>(within_end)};
}

PixelRect ScaleFootprint::SourceFor(const PixelRect& changed) const {
  if (changed.IsEmpty()) {
    return {};
  }
  const Span columns = SourceFor(columns_, {changed.x, changed.Right()});
  const Span rows = SourceFor(rows_, {changed.y, changed.Bottom()});
  if (columns.end <= columns.first || rows.end <= rows.first) {
    return {};
  }
  return {columns.first, rows.first, columns.end - columns.first, rows.end - rows.first};
}

PixelRect ScaleFootprint::PixelsWithin(const PixelRect& part) const {
  const Span columns = PixelsWithin(columns_, {part.x, part.Right()});
  const Span rows = PixelsWithin(rows_, {part.y, part.Bottom()});
  if (columns.end <= columns.first || rows.end <= rows.first) {
    return {};
  }
  return {columns.first, rows.first, columns.end - columns.first, rows.end - rows.first};
}

}  // namespace lumivanta
