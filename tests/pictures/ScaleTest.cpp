#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "pictures/CxImage.h"
#include "tests/support/PictureTestSupport.h"

namespace lumivanta {
namespace {

void Fill(CxImage& picture, std::uint32_t width, std::uint32_t height, RgbQuad colour) {
  ASSERT_NE(picture.Create(width, height, 24, 0), nullptr);
  for (std::int32_t y = 0; y < static_cast<std::int32_t>(height); ++y) {
    for (std::int32_t x = 0; x < static_cast<std::int32_t>(width); ++x) {
      picture.SetPixelColor(x, y, colour);
    }
  }
}

void CopyPicture(const CxImage& from, CxImage& to) {
  ASSERT_NE(to.Create(from.Width(), from.Height(), 24, 0), nullptr);
  std::memcpy(to.Rows(), from.Rows(), std::size_t{from.Stride()} * from.Height());
}

std::vector<const PixelKernels*> AvailableKernels() {
  std::vector<const PixelKernels*> kernels = {&PortableKernels()};
  if (Avx2Kernels() != nullptr) {
    kernels.push_back(Avx2Kernels());
  }
  return kernels;
}

TEST(ScaleToReference, HalvingAveragesEachTwoByTwoBlockTruncated) {
  CxImage original;
  test::FillRandom(original, 4, 4, 1);
  CxImage picture;
  CopyPicture(original, picture);
  ASSERT_TRUE(picture.ScaleTo(2, 2));
  ASSERT_EQ(picture.Width(), 2u);
  ASSERT_EQ(picture.Height(), 2u);
  for (std::int32_t y = 0; y < 2; ++y) {
    for (std::int32_t x = 0; x < 2; ++x) {
      int sums[3] = {0, 0, 0};
      for (std::int32_t j = 0; j < 2; ++j) {
        for (std::int32_t i = 0; i < 2; ++i) {
          const RgbQuad c = original.PixelColor(2 * x + i, 2 * y + j);
          sums[0] += c.blue;
          sums[1] += c.green;
          sums[2] += c.red;
        }
      }
      const RgbQuad expected{static_cast<std::uint8_t>(sums[0] / 4), static_cast<std::uint8_t>(sums[1] / 4),
                             static_cast<std::uint8_t>(sums[2] / 4), 0};
      EXPECT_EQ(picture.PixelColor(x, y), expected) << x << "," << y;
    }
  }
}

TEST(ScaleToReference, ThreeColumnsToTwoWeighTheMiddleColumnByHalf) {
  CxImage picture;
  ASSERT_NE(picture.Create(3, 2, 24, 0), nullptr);
  for (std::int32_t y = 0; y < 2; ++y) {
    picture.SetPixelColor(0, y, RgbQuad{10, 0, 255, 0});
    picture.SetPixelColor(1, y, RgbQuad{21, 90, 0, 0});
    picture.SetPixelColor(2, y, RgbQuad{5, 200, 255, 0});
  }
  ASSERT_TRUE(picture.ScaleTo(2, 1));
  // (2 * 10 + 2 * 21 / 2) / 3 = 13.67 and (2 * 21 / 2 + 2 * 5) / 3 = 10.33, truncated.
  EXPECT_EQ(picture.PixelColor(0, 0), (RgbQuad{13, 30, 170, 0}));
  EXPECT_EQ(picture.PixelColor(1, 0), (RgbQuad{10, 163, 170, 0}));
}

TEST(ScaleToReference, EnlargingAnEdgeClampsInsteadOfWrappingAndRepeatsTheBorder) {
  CxImage picture;
  ASSERT_NE(picture.Create(800, 600, 24, 0), nullptr);
  for (std::int32_t y = 0; y < 600; ++y) {
    for (std::int32_t x = 0; x < 800; ++x) {
      const auto level = static_cast<std::uint8_t>(x < 400 ? 0 : 255);
      picture.SetPixelColor(x, y, RgbQuad{level, level, level, 0});
    }
  }
  ASSERT_TRUE(picture.ScaleTo(1024, 768));
  ASSERT_EQ(picture.Width(), 1024u);
  for (std::int32_t y = 0; y < 768; y += 97) {
    // The kernel's lobes overshoot on both sides of the edge (near x = 511.5).
    // Clamped, the row rises from 0 to 255 (truncation may leave a 254 next
    // to a 255); wrapped, it would jump by about 255.
    int previous = 0;
    for (std::int32_t x = 0; x < 1024; ++x) {
      const int level = picture.PixelColor(x, y).blue;
      ASSERT_GE(level, previous - 1) << x << "," << y;
      ASSERT_LE(level, x < 505 ? 1 : 255) << x << "," << y;
      ASSERT_GE(level, x > 518 ? 254 : 0) << x << "," << y;
      previous = level;
    }
    EXPECT_EQ(picture.PixelColor(0, y).blue, 0);
  }
  EXPECT_GE(picture.PixelColor(1023, 767).blue, 254);
}

TEST(ScaleToReference, OwnSizeKeepsTheBlockAndBadSizesChangeNothing) {
  CxImage picture;
  test::FillRandom(picture, 9, 7, 3);
  const std::uint8_t* block = picture.Block();
  EXPECT_TRUE(picture.ScaleTo(9, 7));
  EXPECT_TRUE(picture.ScaleToFast(9, 7));
  EXPECT_EQ(picture.Block(), block);
  EXPECT_FALSE(picture.ScaleTo(0, 7));
  EXPECT_FALSE(picture.ScaleToFast(5, -1));
  EXPECT_EQ(picture.Block(), block);
  CxImage empty;
  EXPECT_FALSE(empty.ScaleTo(4, 4));
  EXPECT_FALSE(empty.ScaleToFast(4, 4));
}

TEST(ScaleToReference, AnAreaInsideOnePixelCountsThatPixelOnce) {
  // Wider, lower: x is averaged, y enlarged; a plain colour must stay as it is
  // (counted twice, it would come out twice as bright).
  CxImage picture;
  Fill(picture, 30, 10, RgbQuad{100, 150, 200, 0});
  ASSERT_TRUE(picture.ScaleTo(12, 25));
  CxImage fast;
  Fill(fast, 30, 10, RgbQuad{100, 150, 200, 0});
  ASSERT_TRUE(fast.ScaleToFast(12, 25));
  for (std::int32_t y = 0; y < 25; ++y) {
    for (std::int32_t x = 0; x < 12; ++x) {
      for (const CxImage* scaled : {&picture, &fast}) {
        const RgbQuad colour = scaled->PixelColor(x, y);
        ASSERT_NEAR(colour.blue, 100, 1) << x << "," << y;
        ASSERT_NEAR(colour.green, 150, 1) << x << "," << y;
        ASSERT_NEAR(colour.red, 200, 1) << x << "," << y;
      }
    }
  }
}

TEST(ScaleToReference, PalettePicturesStoreTheNearestEntry) {
  CxImage picture;
  ASSERT_NE(picture.Create(4, 2, 8, 0), nullptr);
  for (std::uint32_t i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    picture.SetPaletteColor(i, RgbQuad{level, level, level, 0});
  }
  const std::uint8_t levels[8] = {10, 20, 200, 202, 30, 41, 100, 0};
  for (int i = 0; i < 8; ++i) {
    picture.Rows()[(i / 4) * picture.Stride() + i % 4] = levels[i];
  }
  ASSERT_TRUE(picture.ScaleToFast(2, 1));
  EXPECT_EQ(picture.BitsPerPixel(), 8u);
  EXPECT_TRUE(picture.IsGreyScale());
  EXPECT_EQ(picture.Rows()[0], 25);   // (10 + 20 + 30 + 41) / 4 = 25.25
  EXPECT_EQ(picture.Rows()[1], 125);  // (200 + 202 + 100 + 0) / 4 = 125.5
}

// The fast path against the reference, pixel by pixel.
void ExpectFastAgrees(const CxImage& original, std::int32_t new_width, std::int32_t new_height) {
  CxImage reference;
  CopyPicture(original, reference);
  ASSERT_TRUE(reference.ScaleTo(new_width, new_height));
  std::vector<std::uint8_t> first_result;
  for (const PixelKernels* kernels : AvailableKernels()) {
    CxImage fast;
    CopyPicture(original, fast);
    ASSERT_TRUE(fast.ScaleToFast(new_width, new_height, *kernels));
    ASSERT_EQ(fast.Width(), static_cast<std::uint32_t>(new_width));
    ASSERT_EQ(fast.Height(), static_cast<std::uint32_t>(new_height));
    EXPECT_LE(test::MaxChannelDifference(fast, reference), 1)
        << kernels->name << ": " << original.Width() << "x" << original.Height() << " to " << new_width << "x"
        << new_height;
    // Every kernel set gives the same bytes.
    const std::vector<std::uint8_t> result(fast.Rows(), fast.Rows() + std::size_t{fast.Stride()} * fast.Height());
    if (first_result.empty()) {
      first_result = result;
    } else {
      EXPECT_TRUE(result == first_result) << kernels->name << " differs from " << AvailableKernels().front()->name;
    }
  }
}

TEST(ScaleToFast, AgreesWithTheReferenceOnRandomPicturesOfManySizes) {
  const std::vector<std::tuple<std::uint32_t, std::uint32_t, std::int32_t, std::int32_t>> cases = {
      // reductions
      {4, 4, 2, 2},
      {7, 5, 3, 2},
      {64, 48, 35, 20},
      {100, 37, 33, 12},
      {33, 17, 16, 9},
      {5, 5, 1, 1},
      {64, 48, 64, 24},
      {97, 61, 96, 60},
      {300, 200, 7, 5},
      {192, 108, 106, 60},
      // enlargements
      {1, 1, 3, 3},
      {8, 6, 13, 11},
      {40, 30, 51, 38},
      {1, 7, 4, 9},
      {3, 3, 200, 3},
      {80, 60, 102, 76},
      // one direction each
      {30, 10, 12, 25},
      {10, 30, 25, 12},
  };
  std::uint32_t seed = 10;
  for (const auto& [width, height, new_width, new_height] : cases) {
    CxImage picture;
    test::FillRandom(picture, width, height, ++seed);
    ExpectFastAgrees(picture, new_width, new_height);
  }
}

TEST(ScaleToFast, AgreesWithTheReferenceOnTheTestScreenBothWays) {
  const test::OwnedScreen screen = test::LoadTestScreen();
  const ScreenImage view = screen.AsGrabbed();
  CxImage picture;
  ASSERT_TRUE(picture.CreateFromBitmap(&view));
  ExpectFastAgrees(picture, 1066, 600);

  const test::OwnedScreen small = test::ScreenOfSize(screen, 800, 600);
  const ScreenImage small_view = small.AsGrabbed();
  ASSERT_TRUE(picture.CreateFromBitmap(&small_view));
  ExpectFastAgrees(picture, 1024, 768);
}

}  // namespace
}  // namespace lumivanta
