// What the publish worker makes of a captured screen.

#include "pictures/ScreenEncoder.h"

#include <gtest/gtest.h>

namespace lumivanta {
namespace {

TEST(ScreenEncoder, QualityIndexAndWidthForTheTargetHeight) {
  EXPECT_EQ(JpegQualityForIndex(0), 25);
  EXPECT_EQ(JpegQualityForIndex(1), 60);
  EXPECT_EQ(JpegQualityForIndex(2), 99);
  EXPECT_EQ(JpegQualityForIndex(3), 25);
  EXPECT_EQ(JpegQualityForIndex(-1), 25);

  EXPECT_EQ(WidthForHeight(1920, 1080, 600), 1066);
  EXPECT_EQ(WidthForHeight(1366, 768, 600), 1067);
  EXPECT_EQ(WidthForHeight(1280, 1024, 768), 960);
  EXPECT_EQ(WidthForHeight(1024, 768, 600), 800);
  EXPECT_EQ(WidthForHeight(800, 600, 768), 1024);
  // A width that no picture can have is 0, which the scaling refuses.
  EXPECT_EQ(WidthForHeight(4000, 1, 2147483647), 0);
}

}  // namespace
}  // namespace lumivanta
