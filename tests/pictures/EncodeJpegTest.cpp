#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "pictures/CxImage.h"
#include "pictures/MallocBuffer.h"
#include "pictures/MemoryFile.h"
#include "tests/support/PictureTestSupport.h"

namespace lumivanta {
namespace {

// The JPEG file of a picture, as the publish job takes it from the memory file.
std::string Encode(CxImage& picture, std::uint8_t quality) {
  picture.SetQuality(quality);
  CMemoryFile file;
  EXPECT_TRUE(file.Open());
  EXPECT_TRUE(picture.EncodeJpeg(&file)) << picture.LastError();
  const MallocBuffer bytes(file.DetachBuffer(true));
  return std::string(reinterpret_cast<const char*>(bytes.get()), static_cast<std::size_t>(file.Size()));
}

void FillRows(CxImage& picture, std::uint32_t first_row, std::uint32_t end_row, RgbQuad colour) {
  for (std::uint32_t y = first_row; y < end_row; ++y) {
    for (std::uint32_t x = 0; x < picture.Width(); ++x) {
      picture.SetPixelColor(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), colour);
    }
  }
}

TEST(EncodeJpeg, WritesAJfifFileTheRightWayUpInTheRightColours) {
  CxImage picture;
  ASSERT_NE(picture.Create(1066, 600, 24, 0), nullptr);
  ASSERT_EQ(picture.Stride(), 3200u);
  // Stored rows count from the bottom: the top half is red, the bottom half blue.
  FillRows(picture, 0, 300, RgbQuad{255, 0, 0, 0});
  FillRows(picture, 300, 600, RgbQuad{0, 0, 255, 0});
  for (std::uint32_t y = 0; y < 600; ++y) {
    picture.Rows()[y * 3200 + 3198] = 0x80;  // padding that must not show
    picture.Rows()[y * 3200 + 3199] = 0xFF;
  }
  const std::string file = Encode(picture, 25);

  ASSERT_GT(file.size(), 4u);
  EXPECT_EQ(file.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(file.substr(file.size() - 2), "\xFF\xD9");
  const test::DecodedJpeg decoded = test::DecodeJpeg(file);
  EXPECT_EQ(decoded.width, 1066u);
  EXPECT_EQ(decoded.height, 600u);
  EXPECT_EQ(decoded.components, 3);
  EXPECT_TRUE(decoded.jfif);
  EXPECT_EQ(decoded.density_unit, 1);
  EXPECT_EQ(decoded.x_density, 96);
  EXPECT_EQ(decoded.y_density, 96);
  EXPECT_EQ(decoded.markers, std::vector<int>{JPEG_APP0});

  for (std::uint32_t x : {0u, 500u, 1060u, 1064u, 1065u}) {
    const std::uint8_t* top = decoded.At(x, 10);
    EXPECT_GT(top[0], 240) << x;  // red stays red
    EXPECT_LT(top[1], 15) << x;
    EXPECT_LT(top[2], 15) << x;
    const std::uint8_t* bottom = decoded.At(x, 590);
    EXPECT_LT(bottom[0], 15) << x;
    EXPECT_LT(bottom[1], 15) << x;
    EXPECT_GT(bottom[2], 240) << x;
  }
}

TEST(EncodeJpeg, APlainPictureStaysPlainUpToItsRightEdge) {
  CxImage picture;
  ASSERT_NE(picture.Create(1066, 64, 24, 0), nullptr);
  FillRows(picture, 0, 64, RgbQuad{90, 140, 200, 0});
  for (std::uint32_t y = 0; y < 64; ++y) {
    picture.Rows()[y * 3200 + 3198] = 0;
    picture.Rows()[y * 3200 + 3199] = 0xFF;
  }
  const test::DecodedJpeg decoded = test::DecodeJpeg(Encode(picture, 99));
  for (std::uint32_t row = 0; row < 64; ++row) {
    for (std::uint32_t x = 1040; x < 1066; ++x) {
      const std::uint8_t* pixel = decoded.At(x, row);
      ASSERT_NEAR(pixel[0], 200, 2) << x << "," << row;
      ASSERT_NEAR(pixel[1], 140, 2) << x << "," << row;
      ASSERT_NEAR(pixel[2], 90, 2) << x << "," << row;
    }
  }
}

// What the library writes for the same rows swapped to red-green-blue by hand.
std::string EncodeSwappedByHand(const CxImage& picture, int quality) {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &bytes, &size);
  compressor.image_width = picture.Width();
  compressor.image_height = picture.Height();
  compressor.input_components = 3;
  compressor.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, quality, FALSE);
  compressor.density_unit = 1;
  compressor.X_density = 96;
  compressor.Y_density = 96;
  jpeg_start_compress(&compressor, TRUE);
  std::vector<std::uint8_t> row(picture.Stride());
  for (std::uint32_t line = 0; line < picture.Height(); ++line) {
    const std::uint8_t* stored = picture.Rows() + std::size_t{picture.Stride()} * (picture.Height() - 1 - line);
    for (std::uint32_t x = 0; x < picture.Width(); ++x) {
      row[x * 3] = stored[x * 3 + 2];
      row[x * 3 + 1] = stored[x * 3 + 1];
      row[x * 3 + 2] = stored[x * 3];
    }
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&compressor, &pointer, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::string file(reinterpret_cast<const char*>(bytes), size);
  std::free(bytes);
  return file;
}

// The test screen as the publish job scales it: the same file as the rows
// swapped by hand, and larger files for higher qualities.
TEST(EncodeJpeg, TheTestScreenGivesTheSameFileAsSwappingToRedGreenBlueAndGrowsWithTheQuality) {
  const test::OwnedScreen screen = test::LoadTestScreen();
  const ScreenImage view = screen.AsGrabbed();
  CxImage picture;
  ASSERT_TRUE(picture.CreateFromBitmap(&view));
  ASSERT_TRUE(picture.ScaleToFast(1066, 600));
  const std::string normal = Encode(picture, 60);
  EXPECT_TRUE(normal == EncodeSwappedByHand(picture, 60));
  EXPECT_LT(Encode(picture, 25).size(), normal.size());
  EXPECT_LT(normal.size(), Encode(picture, 99).size());
}

TEST(EncodeJpeg, GreyScalePalettesGiveOneComponentColourPalettesAreRefused) {
  for (std::uint32_t depth : {1u, 4u, 8u}) {
    CxImage picture;
    ASSERT_NE(picture.Create(24, 16, depth, 0), nullptr);
    const std::uint32_t levels = 1u << depth;
    for (std::uint32_t i = 0; i < levels; ++i) {
      const auto level = static_cast<std::uint8_t>(i);
      picture.SetPaletteColor(i, RgbQuad{level, level, level, 0});
    }
    for (std::uint32_t y = 0; y < 16; ++y) {
      for (std::uint32_t x = 0; x < 24; ++x) {
        const auto level = static_cast<std::uint8_t>(x < 12 ? levels - 1 : 0);
        picture.SetPixelColor(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                              RgbQuad{level, level, level, 0});
      }
    }
    const test::DecodedJpeg decoded = test::DecodeJpeg(Encode(picture, 99));
    EXPECT_EQ(decoded.components, 1) << depth;
    EXPECT_NEAR(decoded.At(2, 8)[0], levels - 1, 2) << depth;
    EXPECT_NEAR(decoded.At(21, 8)[0], 0, 2) << depth;

    picture.SetPaletteColor(1, RgbQuad{0, 0, 255, 0});
    CMemoryFile file;
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(picture.EncodeJpeg(&file));
    EXPECT_STREQ(picture.LastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(file.Size(), 0);
  }
}

TEST(EncodeJpeg, ReportsMissingFileAndMissingPixels) {
  CxImage picture;
  CMemoryFile file;
  ASSERT_TRUE(file.Open());
  EXPECT_FALSE(picture.EncodeJpeg(&file));
  EXPECT_STREQ(picture.LastError(), "null image!!!");
  ASSERT_NE(picture.Create(8, 8, 24, 0), nullptr);
  EXPECT_FALSE(picture.EncodeJpeg(nullptr));
  EXPECT_STREQ(picture.LastError(), "null file handler");
}

// A file that takes the first bytes and then refuses, like a full disk.
class FillingFile : public CMemoryFile {
 public:
  explicit FillingFile(std::size_t room) : room_(room) {}
  std::size_t Write(const void* source, std::size_t item_size, std::size_t count) override {
    if (item_size * count > room_) {
      return 0;
    }
    room_ -= item_size * count;
    return CMemoryFile::Write(source, item_size, count);
  }

 private:
  std::size_t room_ = 0;
};

TEST(EncodeJpeg, AFailedWriteEndsTheEncodingWithTheLibrarysMessage) {
  CxImage picture;
  test::FillRandom(picture, 300, 200, 4);
  for (std::size_t room : {std::size_t{0}, std::size_t{4096}}) {
    FillingFile file(room);
    ASSERT_TRUE(file.Open());
    EXPECT_FALSE(picture.EncodeJpeg(&file));
    EXPECT_STREQ(picture.LastError(), "Output file write error --- out of disk space?");
  }
  // The picture is still whole and encodes again.
  CMemoryFile file;
  ASSERT_TRUE(file.Open());
  EXPECT_TRUE(picture.EncodeJpeg(&file));
}

}  // namespace
}  // namespace lumivanta
