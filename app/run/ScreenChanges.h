#pragma once

// How much of the screen a capture has to take: nothing when the last picture
// still shows it, only the parts that changed, or all of it. The changes the
// screen source reports are gathered from one screen handed to the publisher
// to the next, so that a picture that was dropped loses none of them.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "pictures/ScaleFootprint.h"
#include "pictures/ScreenEncoder.h"
#include "pictures/ScreenImage.h"

namespace lumivanta {

class ScreenChanges {
 public:
  enum class Take {
    kNothing,  // the last picture's file goes again
    kParts,    // grab the parts, scale them into the last picture
    kWhole,
  };
  struct Plan {
    Take take = Take::kWhole;
    // For kParts: the parts to grab, and the screen's size they belong to.
    std::vector<PixelRect> parts;
    std::uint32_t screen_width = 0;
    std::uint32_t screen_height = 0;
  };

  // Adds what the screen source reports; nothing stands for all of the screen.
  void Add(const std::optional<std::vector<PixelRect>>& changes);
  // A screen went to the publisher: the changes so far are in its picture.
  void Clear();
  // What to take for a picture of the target height and quality, with the
  // arrow's tip where arrow says, given what the last picture was made of
  // (null when that is not known, as while the publisher is busy).
  Plan PlanFor(const ScreenEncoder::Encoded* last, std::optional<PixelPoint> arrow, std::int32_t target_height,
               std::int32_t quality_index);

 private:
  bool all_ = true;
  std::vector<PixelRect> rects_;
  std::optional<ScaleFootprint> footprint_;
  std::array<std::uint32_t, 4> footprint_size_{};
};

}  // namespace lumivanta
