#include "app/run/ScreenChanges.h"

#include <algorithm>
#include <new>

#include "pictures/PointerArrow.h"

namespace lumivanta {
namespace {

// Beyond this many rectangles, their bounding box stands for them.
constexpr std::size_t kMostRects = 32;

PixelRect BoundingBox(const std::vector<PixelRect>& rects) {
  PixelRect box = rects.front();
  for (const PixelRect& rect : rects) {
    const int right = std::max(box.Right(), rect.Right());
    const int bottom = std::max(box.Bottom(), rect.Bottom());
    box.x = std::min(box.x, rect.x);
    box.y = std::min(box.y, rect.y);
    box.width = right - box.x;
    box.height = bottom - box.y;
  }
  return box;
}

void Collapse(std::vector<PixelRect>& rects) {
  if (rects.size() > kMostRects) {
    const PixelRect box = BoundingBox(rects);
    rects.assign(1, box);
  }
}

}  // namespace

void ScreenChanges::Add(const std::optional<std::vector<PixelRect>>& changes) {
  if (!changes) {
    all_ = true;
    rects_.clear();
    return;
  }
  if (all_) {
    return;
  }
  for (const PixelRect& rect : *changes) {
    if (!rect.IsEmpty()) {
      rects_.push_back(rect);
    }
  }
  Collapse(rects_);
}

void ScreenChanges::Clear() {
  all_ = false;
  rects_.clear();
}

ScreenChanges::Plan ScreenChanges::PlanFor(const ScreenEncoder::Encoded* last, std::optional<PixelPoint> arrow,
                                           std::int32_t target_height, std::int32_t quality_index) {
  Plan plan;
  if (all_ || last == nullptr || !last->valid || last->target_height != target_height ||
      last->quality_index != quality_index) {
    return plan;
  }
  std::vector<PixelRect> changed = rects_;
  // The arrow is part of the picture: where it was and where it goes changed.
  if (arrow != last->pointer_arrow) {
    for (const std::optional<PixelPoint>& tip : {last->pointer_arrow, arrow}) {
      if (tip) {
        changed.push_back(PointerArrowBounds(*tip));
      }
    }
  }
  if (changed.empty()) {
    plan.take = Take::kNothing;
    return plan;
  }
  if (!last->scaled) {
    return plan;
  }
  Collapse(changed);
  const std::array size{last->screen_width, last->screen_height, last->picture_width, last->picture_height};
  try {
    if (!footprint_ || footprint_size_ != size) {
      footprint_.emplace(size[0], size[1], size[2], size[3]);
      footprint_size_ = size;
    }
  } catch (const std::bad_alloc&) {
    footprint_.reset();
    return plan;
  }
  // Past half the screen, grabbing and scaling it all costs about the same.
  const std::uint64_t screen_area = std::uint64_t{last->screen_width} * last->screen_height;
  std::uint64_t area = 0;
  for (const PixelRect& rect : changed) {
    const PixelRect part = footprint_->SourceFor(rect);
    if (!part.IsEmpty()) {
      plan.parts.push_back(part);
      area += static_cast<std::uint64_t>(part.width) * static_cast<std::uint64_t>(part.height);
    }
  }
  if (area * 2 > screen_area) {
    plan.parts.clear();
    return plan;
  }
  if (plan.parts.empty()) {
    plan.take = Take::kNothing;  // every change lay off the screen
    return plan;
  }
  plan.take = Take::kParts;
  plan.screen_width = last->screen_width;
  plan.screen_height = last->screen_height;
  return plan;
}

}  // namespace lumivanta
