#include "pictures/CxImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/PictureTestSupport.h"

namespace lumivanta {
namespace {

TEST(CxImageCreate, NormalisesTheDepthAndPadsRowsToFourBytes) {
  CxImage picture;
  ASSERT_NE(picture.Create(1920, 1080, 32, 0), nullptr);
  EXPECT_EQ(picture.BitsPerPixel(), 24u);
  EXPECT_EQ(picture.Stride(), 5760u);
  EXPECT_EQ(picture.Header().image_size, 6220800u);
  EXPECT_EQ(picture.Rows() - picture.Block(), 40);

  ASSERT_NE(picture.Create(1366, 768, 24, 0), nullptr);
  EXPECT_EQ(picture.Stride(), 4100u);

  ASSERT_NE(picture.Create(5, 3, 1, 0), nullptr);
  EXPECT_EQ(picture.Header().colours_used, 2u);
  EXPECT_EQ(picture.Stride(), 4u);
  EXPECT_EQ(picture.Rows() - picture.Block(), 40 + 2 * 4);

  ASSERT_NE(picture.Create(5, 3, 3, 0), nullptr);
  EXPECT_EQ(picture.BitsPerPixel(), 4u);
  EXPECT_EQ(picture.Header().colours_used, 16u);
  EXPECT_EQ(picture.Stride(), 4u);

  ASSERT_NE(picture.Create(7, 2, 6, 0), nullptr);
  EXPECT_EQ(picture.BitsPerPixel(), 8u);
  EXPECT_EQ(picture.Header().colours_used, 256u);
  for (std::uint32_t i = 0; i < 256; ++i) {
    EXPECT_EQ(picture.PaletteColor(i), RgbQuad{}) << i;
  }
}

TEST(CxImageCreate, TheBlockOpensWithTheHeader) {
  CxImage picture;
  ASSERT_NE(picture.Create(1366, 768, 24, 0), nullptr);
  BitmapInfoHeader stored;
  std::memcpy(&stored, picture.Block(), sizeof(stored));
  EXPECT_EQ(stored.header_size, 40u);
  EXPECT_EQ(stored.width, 1366);
  EXPECT_EQ(stored.height, 768);
  EXPECT_EQ(stored.planes, 1);
  EXPECT_EQ(stored.bits_per_pixel, 24);
  EXPECT_EQ(stored.compression, 0u);
  EXPECT_EQ(stored.image_size, 4100u * 768);
  EXPECT_EQ(stored.x_pixels_per_metre, 3780);
  EXPECT_EQ(stored.y_pixels_per_metre, 3780);
  EXPECT_EQ(stored.colours_used, 0u);
}

TEST(CxImageCreate, RefusesEmptyAndOversizedPicturesAndStaysEmpty) {
  CxImage picture;
  ASSERT_NE(picture.Create(4, 4, 24, 0), nullptr);
  EXPECT_EQ(picture.Create(0, 10, 24, 0), nullptr);
  EXPECT_STREQ(picture.LastError(), "CxImage::Create : width and height must be greater than zero");
  EXPECT_FALSE(picture.HasPixels());
  EXPECT_EQ(picture.Width(), 0u);
  EXPECT_EQ(picture.Create(10, 0, 24, 0), nullptr);
  EXPECT_FALSE(picture.HasPixels());

  // 65536 x 65536 x 3 bytes would wrap round in 32 bits to a tiny block.
  EXPECT_EQ(picture.Create(65536, 65536, 24, 0), nullptr);
  EXPECT_STREQ(picture.LastError(), "CxImage::Create : width and height are too large");
  EXPECT_FALSE(picture.HasPixels());
  EXPECT_EQ(picture.Create(0x80000000u, 1, 1, 0), nullptr);
  EXPECT_EQ(picture.Create(1, 0xFFFFFFFFu, 8, 0), nullptr);
  EXPECT_FALSE(picture.HasPixels());
}

TEST(CxImageCreate, KeepsABlockOfTheSameByteCountAndRewritesItsHeader) {
  CxImage picture;
  picture.SetXDpi(300);
  ASSERT_NE(picture.Create(16, 4, 8, 0), nullptr);
  picture.SetPaletteColor(3, RgbQuad{1, 2, 3, 0});
  const std::uint8_t* block = picture.Block();
  // 40 + 256 * 4 + 16 * 4 bytes, as many as 40 + 68 rows of 16 bytes: a
  // 24-bit picture of 5 x 68 takes the same block, without a palette.
  ASSERT_NE(picture.Create(5, 68, 24, 0), nullptr);
  EXPECT_EQ(picture.Block(), block);
  EXPECT_EQ(picture.BitsPerPixel(), 24u);
  EXPECT_EQ(picture.Header().colours_used, 0u);
  EXPECT_EQ(picture.Rows() - picture.Block(), 40);
  EXPECT_EQ(picture.Header().x_pixels_per_metre, 11811);
  BitmapInfoHeader stored;
  std::memcpy(&stored, picture.Block(), sizeof(stored));
  EXPECT_EQ(stored.bits_per_pixel, 24);
  EXPECT_EQ(stored.height, picture.Header().height);

  // Another screen of the same size lands in the same block.
  const test::OwnedScreen first = test::RandomScreen(33, 7, 1);
  const test::OwnedScreen second = test::RandomScreen(33, 7, 2);
  const ScreenImage first_view = first.AsGrabbed();
  const ScreenImage second_view = second.AsGrabbed();
  ASSERT_TRUE(picture.CreateFromBitmap(&first_view));
  block = picture.Block();
  ASSERT_TRUE(picture.CreateFromBitmap(&second_view));
  EXPECT_EQ(picture.Block(), block);
  EXPECT_EQ(picture.PixelColor(32, 0), (RgbQuad{second.At(32, 6)[0], second.At(32, 6)[1], second.At(32, 6)[2], 0}));
}

TEST(CxImageResolution, StoresDotsPerInchAndPixelsPerMetre) {
  CxImage picture;
  EXPECT_EQ(picture.XDpi(), 96);
  picture.SetXDpi(300);
  picture.SetYDpi(-5);
  EXPECT_EQ(picture.XDpi(), 300);
  EXPECT_EQ(picture.YDpi(), 96);
  ASSERT_NE(picture.Create(2, 2, 24, 0), nullptr);
  EXPECT_EQ(picture.Header().x_pixels_per_metre, 11811);
  EXPECT_EQ(picture.Header().y_pixels_per_metre, 3780);
}

TEST(CxImageCreateFromBitmap, TurnsTheScreenBottomUpAndDropsTheUnusedByte) {
  // 3 x 2 screen with 4 bytes of padding per row.
  std::vector<std::uint8_t> pixels = {
      1,  2,  3,  99, 4,  5,  6,  99, 7,  8,  9,  99, 0, 0, 0, 0,  // top row
      11, 12, 13, 99, 14, 15, 16, 99, 17, 18, 19, 99, 0, 0, 0, 0,  // bottom row
  };
  const ScreenImage screen = test::ScreenOver(3, 2, 16, pixels);
  for (const PixelKernels* kernels : {&PortableKernels(), Avx2Kernels()}) {
    if (kernels == nullptr) {
      continue;
    }
    CxImage picture;
    ASSERT_TRUE(picture.CreateFromBitmap(&screen, *kernels));
    EXPECT_EQ(picture.BitsPerPixel(), 24u);
    EXPECT_EQ(picture.Width(), 3u);
    EXPECT_EQ(picture.Height(), 2u);
    EXPECT_EQ(picture.Stride(), 12u);
    const std::vector<std::uint8_t> rows(picture.Rows(), picture.Rows() + 24);
    EXPECT_EQ(rows, (std::vector<std::uint8_t>{11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0,  //
                                               1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0}))
        << kernels->name;
  }
}

TEST(CxImageCreateFromBitmap, BothKernelsCopyEveryWidthAlike) {
  for (std::uint32_t width : {1u, 7u, 8u, 11u, 12u, 13u, 31u, 64u, 1366u}) {
    const test::OwnedScreen screen = test::RandomScreen(width, 3, width);
    const ScreenImage view = screen.AsGrabbed();
    CxImage portable;
    ASSERT_TRUE(portable.CreateFromBitmap(&view, PortableKernels()));
    for (std::uint32_t row = 0; row < 3; ++row) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const RgbQuad colour = portable.PixelColor(static_cast<std::int32_t>(x), static_cast<std::int32_t>(2 - row));
        const std::uint8_t* expected = screen.At(x, row);
        ASSERT_EQ(colour, (RgbQuad{expected[0], expected[1], expected[2], 0})) << width << " " << x;
      }
    }
    if (Avx2Kernels() != nullptr) {
      CxImage fast;
      ASSERT_TRUE(fast.CreateFromBitmap(&view, *Avx2Kernels()));
      EXPECT_EQ(0, std::memcmp(fast.Rows(), portable.Rows(), portable.Stride() * 3)) << width;
    }
  }
}

TEST(CxImageCreateFromBitmap, RefusesMissingOrShortScreens) {
  CxImage picture;
  EXPECT_FALSE(picture.CreateFromBitmap(nullptr));
  EXPECT_FALSE(picture.HasPixels());

  std::vector<std::uint8_t> pixels(4 * 4 * 3 - 1);
  const ScreenImage too_short = test::ScreenOver(4, 3, 16, pixels);
  EXPECT_FALSE(picture.CreateFromBitmap(&too_short));
  EXPECT_FALSE(picture.HasPixels());
  const ScreenImage rows_overlap = test::ScreenOver(4, 2, 12, pixels);
  EXPECT_FALSE(picture.CreateFromBitmap(&rows_overlap));
  EXPECT_FALSE(picture.HasPixels());
  const ScreenImage empty = test::ScreenOver(0, 0, 0, {});
  EXPECT_FALSE(picture.CreateFromBitmap(&empty));
  EXPECT_STREQ(picture.LastError(), "CxImage::Create : width and height must be greater than zero");
}

void MakeGreyRamp(CxImage& picture) {
  picture.Create(4, 2, 8, 0);
  for (std::uint32_t i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    picture.SetPaletteColor(i, RgbQuad{level, level, level, 0});
  }
}

TEST(CxImagePalette, GreyScaleMeansAnOrderedGreyRamp) {
  CxImage picture;
  EXPECT_FALSE(picture.IsGreyScale());
  MakeGreyRamp(picture);
  EXPECT_TRUE(picture.IsGreyScale());
  picture.SetPaletteColor(7, RgbQuad{8, 8, 8, 0});
  picture.SetPaletteColor(8, RgbQuad{7, 7, 7, 0});
  EXPECT_FALSE(picture.IsGreyScale());

  CxImage two_levels;
  two_levels.Create(3, 3, 1, 0);
  two_levels.SetPaletteColor(1, RgbQuad{1, 1, 1, 0});
  EXPECT_TRUE(two_levels.IsGreyScale());

  CxImage colour;
  colour.Create(3, 3, 24, 0);
  EXPECT_FALSE(colour.IsGreyScale());
}

TEST(CxImagePalette, NearestIndexTakesTheLowestOfEquallyNearEntriesAndRemembersItsAnswer) {
  CxImage picture;
  picture.Create(2, 2, 4, 0);
  picture.SetPaletteColor(3, RgbQuad{10, 10, 10, 0});
  picture.SetPaletteColor(5, RgbQuad{20, 10, 10, 0});
  picture.SetPaletteColor(6, RgbQuad{10, 10, 20, 0});
  for (std::uint32_t i : {0u, 1u, 2u, 4u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u}) {
    picture.SetPaletteColor(i, RgbQuad{200, 200, 200, 0});
  }
  EXPECT_EQ(picture.NearestPaletteIndex(RgbQuad{15, 10, 15, 0}), 3);  // 3, 5 and 6 all at distance 50
  EXPECT_EQ(picture.NearestPaletteIndex(RgbQuad{10, 10, 20, 0}), 6);
  // Changing the palette forgets the remembered answer.
  picture.SetPaletteColor(2, RgbQuad{10, 10, 20, 0});
  EXPECT_EQ(picture.NearestPaletteIndex(RgbQuad{10, 10, 20, 0}), 2);
}

TEST(CxImagePixels, PaletteDepthsStoreTheNearestEntryAndReadItsColour) {
  for (std::uint32_t depth : {1u, 4u, 8u}) {
    CxImage picture;
    ASSERT_NE(picture.Create(11, 3, depth, 0), nullptr);
    const RgbQuad red{0, 0, 255, 0};
    const RgbQuad white{255, 255, 255, 0};
    picture.SetPaletteColor(0, red);
    picture.SetPaletteColor(1, white);
    for (std::int32_t y = 0; y < 3; ++y) {
      for (std::int32_t x = 0; x < 11; ++x) {
        picture.SetPixelColor(x, y, (x + y) % 2 == 0 ? RgbQuad{10, 10, 240, 0} : RgbQuad{250, 250, 250, 0});
      }
    }
    picture.SetPixelColor(11, 0, red);  // outside: ignored
    picture.SetPixelColor(-1, 0, red);
    for (std::int32_t y = 0; y < 3; ++y) {
      for (std::int32_t x = 0; x < 11; ++x) {
        EXPECT_EQ(picture.PixelColor(x, y), (x + y) % 2 == 0 ? red : white) << depth << " " << x << "," << y;
      }
    }
  }
}

TEST(CxImageConvertTo24Bit, GivesEveryPixelItsPaletteColour) {
  CxImage picture;
  ASSERT_NE(picture.Create(5, 2, 8, 0), nullptr);
  for (std::uint32_t i = 0; i < 256; ++i) {
    picture.SetPaletteColor(i, RgbQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, 0});
  }
  for (std::uint32_t i = 0; i < 10; ++i) {
    picture.Rows()[(i / 5) * picture.Stride() + i % 5] = static_cast<std::uint8_t>(i * 20);
  }
  picture.SetQuality(60);
  picture.SetXDpi(150);
  picture.SetBackgroundIndex(3);
  ASSERT_TRUE(picture.ConvertTo24Bit());
  EXPECT_EQ(picture.BitsPerPixel(), 24u);
  EXPECT_EQ(picture.Quality(), 60);
  EXPECT_EQ(picture.XDpi(), 150);
  EXPECT_EQ(picture.BackgroundColour(), (RgbQuad{3, 252, 7, 0}));
  for (std::int32_t i = 0; i < 10; ++i) {
    const auto value = static_cast<std::uint8_t>(i * 20);
    EXPECT_EQ(picture.PixelColor(i % 5, i / 5), (RgbQuad{value, static_cast<std::uint8_t>(255 - value), 7, 0}));
  }

  const std::uint8_t* block = picture.Block();
  EXPECT_TRUE(picture.ConvertTo24Bit());
  EXPECT_EQ(picture.Block(), block);
  CxImage empty;
  EXPECT_FALSE(empty.ConvertTo24Bit());
}

TEST(CxImageTakeOver, MovesTheBlockAndLeavesTheOtherEmpty) {
  CxImage source;
  ASSERT_NE(source.Create(6, 4, 24, 0), nullptr);
  source.SetQuality(99);
  const std::uint8_t* block = source.Block();
  CxImage target;
  ASSERT_NE(target.Create(2, 2, 8, 0), nullptr);
  target.TakeOver(source);
  EXPECT_EQ(target.Block(), block);
  EXPECT_EQ(target.Width(), 6u);
  EXPECT_EQ(target.Stride(), 20u);
  EXPECT_EQ(target.Quality(), 99);
  EXPECT_FALSE(source.HasPixels());
  EXPECT_EQ(source.Width(), 0u);
  target.Clear();
  EXPECT_FALSE(target.HasPixels());
  EXPECT_EQ(target.Rows(), nullptr);
}

}  // namespace
}  // namespace lumivanta
