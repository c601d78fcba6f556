#include "pictures/PointerArrow.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumivanta {
namespace {

constexpr std::uint32_t kBackground = 0x00102030;  // B G R X = 30 20 10 00
constexpr std::uint32_t kRed = 0x00FF0000;
constexpr std::uint32_t kWhite = 0x00FFFFFF;

struct Screen {
  Screen(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, kBackground) {}
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0x00FFFFFF; }
  void Draw(int x, int y) {
    DrawPointerArrow(reinterpret_cast<std::uint8_t*>(pixels.data()), width, height, width * 4, x, y);
  }
  int width;
  int height;
  std::vector<std::uint32_t> pixels;
};

TEST(PointerArrow, IsARedArrowWithAWhiteOutlineInColumns0To17AndRows1To30) {
  const PointerArrowImage& arrow = PointerArrow();
  int red = 0;
  for (int row = 0; row < kPointerArrowSize; ++row) {
    for (int column = 0; column < kPointerArrowSize; ++column) {
      const ArrowPixel pixel = arrow[row][column];
      red += pixel == ArrowPixel::kRed ? 1 : 0;
      if (pixel != ArrowPixel::kTransparent) {
        EXPECT_TRUE(column <= 17 && row >= 1 && row <= 30) << column << "," << row;
      }
      // Every red pixel is enclosed: its four neighbours are red or white.
      if (pixel == ArrowPixel::kRed) {
        for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
          EXPECT_NE(arrow[row + dy][column + dx], ArrowPixel::kTransparent) << column << "," << row;
        }
      }
    }
  }
  EXPECT_GT(red, 150);
  EXPECT_EQ(arrow[kPointerArrowHotSpotY][kPointerArrowHotSpotX], ArrowPixel::kWhite);
  EXPECT_EQ(arrow[0][0], ArrowPixel::kTransparent);
}

TEST(PointerArrow, ItsTipLandsOnThePointerAndTransparentPixelsStay) {
  Screen screen(300, 300);
  screen.Draw(100, 200);
  EXPECT_EQ(screen.At(100, 199), kBackground);  // the image's top row is empty
  EXPECT_EQ(screen.At(100, 200), kWhite);       // the tip
  EXPECT_EQ(screen.At(101, 202), kRed);
  EXPECT_EQ(screen.At(105, 210), kRed);
  EXPECT_EQ(screen.At(120, 210), kBackground);
  EXPECT_EQ(screen.At(99, 210), kBackground);
}

TEST(PointerArrow, IsClippedAtEveryEdge) {
  for (const auto& [x, y] : {std::pair{295, 295}, std::pair{-10, -10}, std::pair{0, 299}, std::pair{299, 0},
                             std::pair{-100, 50}, std::pair{50, 1000}}) {
    Screen screen(300, 300);
    screen.Draw(x, y);  // nothing is written outside; the sanitizer build checks it
    if (x >= 0 && x < 300 && y >= 0 && y < 300) {
      EXPECT_EQ(screen.At(x, y), kWhite) << x << "," << y;
    }
  }
  Screen screen(300, 300);
  screen.Draw(295, 295);
  EXPECT_EQ(screen.At(296, 297), kRed);
  EXPECT_EQ(screen.At(298, 299), kRed);
  EXPECT_EQ(screen.At(299, 299), kWhite);
}

}  // namespace
}  // namespace lumivanta
