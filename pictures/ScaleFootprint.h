#pragma once

// Which pixels of a scaled picture a changed part of the screen reaches, and
// which part of the screen those pixels read: enough to scale again only
// what changed and get the bytes a pass over the whole screen gives. Rows
// are counted from the top on both sides.

#include <cstdint>
#include <vector>

#include "pictures/ScreenImage.h"

namespace lumivanta {

class ScaleFootprint {
 public:
  // For the fast scaling from the screen's size to the picture's (none of them 0).
  ScaleFootprint(std::uint32_t screen_width, std::uint32_t screen_height, std::uint32_t picture_width,
                 std::uint32_t picture_height);

  // The part of the screen that every picture pixel reading from changed
  // reads; grabbing it is enough to make those pixels again. Empty when
  // changed lies off the screen.
  PixelRect SourceFor(const PixelRect& changed) const;
  // The picture pixels that read only from inside part of the screen.
  PixelRect PixelsWithin(const PixelRect& part) const;

 private:
  // Picture sample d reads the screen's samples low[d] to high[d] - 1.
  struct Axis {
    std::vector<std::uint32_t> low;
    std::vector<std::uint32_t> high;
    std::uint32_t source_size = 0;
  };
  struct Span {
    int first = 0;
    int end = 0;
  };
  static Span SourceFor(const Axis& axis, Span changed);
  static Span PixelsWithin(const Axis& axis, Span part);

  Axis columns_;
  Axis rows_;
};

}  // namespace lumivanta
