// What a capture takes of the screen, from the changes and the last picture.

#include "app/run/ScreenChanges.h"

#include <gtest/gtest.h>

#include "pictures/PointerArrow.h"

namespace lumivanta {
namespace {

using Take = ScreenChanges::Take;

bool Covers(const PixelRect& outer, const PixelRect& inner) {
  return outer.x <= inner.x && outer.y <= inner.y && outer.Right() >= inner.Right() && outer.Bottom() >= inner.Bottom();
}

TEST(ScreenChanges, TakesNothingPartsOrTheWholeScreen) {
  ScreenEncoder::Encoded last{true, 1920, 1080, 600, 1, std::nullopt, true, 1066, 600};
  ScreenChanges changes;
  // Until a screen went to the publisher, and after the source could not tell, all of it.
  changes.Add(std::vector<PixelRect>{});
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 600, 1).take, Take::kWhole);
  changes.Clear();
  changes.Add(std::vector<PixelRect>{});
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 600, 1).take, Take::kNothing);
  // Another size or quality than the last picture's, a busy publisher, or a failed picture: all of it.
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 480, 1).take, Take::kWhole);
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 600, 2).take, Take::kWhole);
  EXPECT_EQ(changes.PlanFor(nullptr, std::nullopt, 600, 1).take, Take::kWhole);
  ScreenEncoder::Encoded failed = last;
  failed.valid = false;
  EXPECT_EQ(changes.PlanFor(&failed, std::nullopt, 600, 1).take, Take::kWhole);

  // The pointer arrow moved: where it was and where it is, with the scaling's reach.
  last.pointer_arrow = PixelPoint{100, 100};
  const ScreenChanges::Plan moved = changes.PlanFor(&last, PixelPoint{800, 500}, 600, 1);
  ASSERT_EQ(moved.take, Take::kParts);
  ASSERT_EQ(moved.parts.size(), 2u);
  EXPECT_TRUE(Covers(moved.parts[0], PointerArrowBounds({100, 100})));
  EXPECT_TRUE(Covers(moved.parts[1], PointerArrowBounds({800, 500})));
  EXPECT_GT(moved.parts[1].width, kPointerArrowSize);
  EXPECT_EQ(changes.PlanFor(&last, PixelPoint{100, 100}, 600, 1).take, Take::kNothing);

  // Changes gathered over ticks until a screen goes; half the screen or more: all of it.
  last.pointer_arrow.reset();
  changes.Add(std::vector<PixelRect>{{10, 10, 20, 20}});
  changes.Add(std::vector<PixelRect>{{1000, 900, 50, 50}});
  const ScreenChanges::Plan parts = changes.PlanFor(&last, std::nullopt, 600, 1);
  ASSERT_EQ(parts.take, Take::kParts);
  EXPECT_EQ(parts.parts.size(), 2u);
  EXPECT_EQ(parts.screen_width, 1920u);
  changes.Add(std::vector<PixelRect>{{0, 0, 1920, 600}});
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 600, 1).take, Take::kWhole);
  // A picture that was not scaled has no kept picture to scale parts into.
  changes.Clear();
  changes.Add(std::vector<PixelRect>{{10, 10, 20, 20}});
  last.scaled = false;
  EXPECT_EQ(changes.PlanFor(&last, std::nullopt, 600, 1).take, Take::kWhole);
}

}  // namespace
}  // namespace lumivanta
