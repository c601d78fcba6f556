// What the publish worker makes of a captured screen.

#include "pictures/ScreenEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "pictures/PointerArrow.h"
#include "pictures/ScaleFootprint.h"
#include "tests/support/PictureTestSupport.h"

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

std::vector<const PixelKernels*> AvailableKernels() {
  std::vector<const PixelKernels*> kernels = {&PortableKernels()};
  if (Avx2Kernels() != nullptr) {
    kernels.push_back(Avx2Kernels());
  }
  return kernels;
}

std::string AsString(std::span<const std::uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<std::uint8_t> RowsOf(const CxImage& picture) {
  return std::vector<std::uint8_t>(picture.Rows(), picture.Rows() + std::size_t{picture.Stride()} * picture.Height());
}

// The same screen with extra bytes at the end of every row, as some grabs deliver it.
test::OwnedScreen WithRowPadding(const test::OwnedScreen& screen, std::uint32_t extra) {
  test::OwnedScreen padded = screen;
  padded.bytes_per_row = screen.bytes_per_row + extra;
  padded.pixels.assign(std::size_t{padded.bytes_per_row} * screen.height, 0xEE);
  for (std::uint32_t row = 0; row < screen.height; ++row) {
    std::copy(screen.At(0, row), screen.At(0, row) + screen.width * 4,
              padded.pixels.begin() + std::size_t{padded.bytes_per_row} * row);
  }
  return padded;
}

struct Case {
  test::OwnedScreen screen;
  std::int32_t target_height;
  std::optional<PixelPoint> pointer;
};

// The worker's two steps: the arrow, a 24-bit copy of the whole screen, then
// the scaling of that copy to the target height.
void ReferencePicture(const Case& c, const PixelKernels& kernels, CxImage& picture) {
  ScreenImage view = c.screen.AsGrabbed();
  view.pointer_arrow = c.pointer;
  DrawPointerArrow(view);
  ASSERT_TRUE(picture.CreateFromBitmap(&view, kernels));
  if (c.target_height > 0 && static_cast<std::uint32_t>(c.target_height) != picture.Height()) {
    picture.ScaleToFast(WidthForHeight(picture.Width(), picture.Height(), c.target_height), c.target_height, kernels);
  }
}

std::string ReferenceJpeg(const Case& c, std::int32_t quality_index) {
  ScreenImage view = c.screen.AsGrabbed();
  view.pointer_arrow = c.pointer;
  DrawPointerArrow(view);
  CxImage picture;
  EXPECT_TRUE(picture.CreateFromBitmap(&view));
  const EncodedPicture encoded = ConvertScaleEncode(picture, c.target_height, quality_index);
  return std::string(reinterpret_cast<const char*>(encoded.bytes.get()), encoded.byte_count);
}

TEST(ScreenEncoder, GivesTheBytesOfTheTwoStepPathForEverySizeAndKernelSet) {
  const test::OwnedScreen test_screen = test::LoadTestScreen();
  std::vector<Case> cases;
  cases.push_back({test_screen, 600, PixelPoint{700, 400}});
  cases.push_back({test::ScreenOfSize(test_screen, 1366, 768), 600, std::nullopt});
  cases.push_back({test::ScreenOfSize(test_screen, 1280, 1024), 768, PixelPoint{1270, 1020}});
  cases.push_back({test::ScreenOfSize(test_screen, 800, 600), 768, PixelPoint{-5, 3}});  // enlarged
  cases.push_back({test::RandomScreen(1001, 701, 1), 480, std::nullopt});                // odd sizes
  cases.push_back({WithRowPadding(test::RandomScreen(333, 257, 2), 12), 1000, std::nullopt});
  cases.push_back({test::RandomScreen(1000, 750, 3), 97, std::nullopt});  // ten taps a pixel
  cases.push_back({test_screen, 300, std::nullopt});                      // six, as from 3840x2160 to 600
  cases.push_back({test::RandomScreen(7, 1080, 4), 600, std::nullopt});   // to 3 pixels wide
  cases.push_back({test::RandomScreen(1, 1080, 5), 600, std::nullopt});   // no width at 600: own size
  cases.push_back({test::ScreenOfSize(test_screen, 640, 480), 0, PixelPoint{10, 10}});
  cases.push_back({test::ScreenOfSize(test_screen, 1366, 768), 768, std::nullopt});
  cases.push_back({test::RandomScreen(1, 1, 6), 600, std::nullopt});
  cases.push_back({test::RandomScreen(1, 1, 7), -3, std::nullopt});
  const Case first = cases.front();
  cases.push_back(first);                             // back to a size the encoder had before
  cases.push_back({test_screen, 480, std::nullopt});  // the same screen to another height

  std::vector<std::string> expected_jpegs;
  for (const Case& c : cases) {
    expected_jpegs.push_back(ReferenceJpeg(c, 1));
  }
  for (const PixelKernels* kernels : AvailableKernels()) {
    ScreenEncoder encoder(*kernels);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const Case& c = cases[i];
      const std::string label = std::string(kernels->name) + " case " + std::to_string(i);
      CxImage expected;
      ReferencePicture(c, *kernels, expected);
      ScreenImage view = c.screen.AsGrabbed();
      view.pointer_arrow = c.pointer;
      const std::string jpeg = AsString(encoder.Encode(view, c.target_height, 1));

      const CxImage& picture = encoder.Picture();
      ASSERT_EQ(picture.Width(), expected.Width()) << label;
      ASSERT_EQ(picture.Height(), expected.Height()) << label;
      ASSERT_EQ(picture.BitsPerPixel(), 24u) << label;
      EXPECT_TRUE(RowsOf(picture) == RowsOf(expected)) << label;
      EXPECT_TRUE(jpeg == expected_jpegs[i]) << label;
      const test::DecodedJpeg decoded = test::DecodeJpeg(jpeg);
      EXPECT_EQ(decoded.width, expected.Width()) << label;
      EXPECT_EQ(decoded.height, expected.Height()) << label;
    }
  }
}

TEST(ScreenEncoder, KeepsItsBuffersForScreensOfOneSize) {
  const test::OwnedScreen test_screen = test::LoadTestScreen();
  const test::OwnedScreen other = test::RandomScreen(1920, 1080, 8);
  ScreenEncoder encoder;
  std::vector<std::string> first_round;
  for (const test::OwnedScreen* screen : {&test_screen, &other}) {
    ScreenImage view = screen->AsGrabbed();
    first_round.push_back(AsString(encoder.Encode(view, 600, 2)));
  }
  const std::uint8_t* block = encoder.Picture().Block();
  ScreenImage again = test_screen.AsGrabbed();
  const std::uint8_t* bytes = encoder.Encode(again, 600, 2).data();
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < 2; ++i) {
      ScreenImage view = (i == 0 ? test_screen : other).AsGrabbed();
      const std::span<const std::uint8_t> jpeg = encoder.Encode(view, 600, 2);
      EXPECT_EQ(jpeg.data(), bytes) << round << " " << i;
      EXPECT_EQ(encoder.Picture().Block(), block) << round << " " << i;
      EXPECT_TRUE(AsString(jpeg) == first_round[i]) << round << " " << i;
    }
  }
  // The quality is the only change: same picture, same buffers, other bytes.
  ScreenImage view = test_screen.AsGrabbed();
  const std::span<const std::uint8_t> low = encoder.Encode(view, 600, 0);
  EXPECT_EQ(encoder.Picture().Block(), block);
  EXPECT_LT(low.size(), first_round[0].size());
  EXPECT_EQ(test::DecodeJpeg(low.data(), low.size()).width, 1066u);
}

TEST(ScreenEncoder, DrawsThePointerArrowWhereTheScreenSaysClippedAtTheEdges) {
  const test::OwnedScreen plain = [] {
    test::OwnedScreen screen = test::RandomScreen(300, 200, 9);
    std::fill(screen.pixels.begin(), screen.pixels.end(), 0x40);
    return screen;
  }();
  const RgbQuad white{255, 255, 255, 0};
  const RgbQuad red{0, 0, 255, 0};
  const RgbQuad background{0x40, 0x40, 0x40, 0};
  ScreenEncoder encoder;
  // The picture counts rows from the bottom: screen row y is picture row 199 - y.
  ScreenImage view = plain.AsGrabbed();
  view.pointer_arrow = PixelPoint{100, 50};
  ASSERT_FALSE(encoder.Encode(view, 0, 2).empty());
  EXPECT_EQ(encoder.Picture().PixelColor(100, 149), white);
  EXPECT_EQ(encoder.Picture().PixelColor(105, 139), red);
  EXPECT_EQ(encoder.Picture().PixelColor(100, 150), background);
  EXPECT_EQ(encoder.Picture().PixelColor(120, 139), background);

  view = plain.AsGrabbed();
  view.pointer_arrow = PixelPoint{297, 195};
  ASSERT_FALSE(encoder.Encode(view, 0, 2).empty());
  EXPECT_EQ(encoder.Picture().PixelColor(297, 4), white);
  EXPECT_EQ(encoder.Picture().PixelColor(299, 0), red);

  for (const PixelPoint outside : {PixelPoint{-40, 50}, PixelPoint{100, 200}, PixelPoint{-1000000, -1000000}}) {
    view = plain.AsGrabbed();
    view.pointer_arrow = outside;
    ASSERT_FALSE(encoder.Encode(view, 0, 2).empty());
    EXPECT_TRUE(RowsOf(encoder.Picture()) == std::vector<std::uint8_t>(300 * 3 * 200, 0x40));
  }
}

TEST(ScreenEncoder, ScreensWithoutAllTheirPixelsGiveNoBytes) {
  ScreenEncoder encoder;
  std::vector<std::uint8_t> pixels(64 * 4 * 48 - 1, 0x80);
  std::vector<ScreenImage> broken = {
      test::ScreenOver(64, 48, 64 * 4, pixels),  // one byte short
      test::ScreenOver(64, 48, 63 * 4, pixels),  // rows overlap
      test::ScreenOver(0, 0, 0, {}),
      test::ScreenOver(64, 0, 64 * 4, pixels),
  };
  broken[0].pointer_arrow = PixelPoint{60, 46};
  for (ScreenImage screen : broken) {
    EXPECT_TRUE(encoder.Encode(screen, 30, 1).empty()) << screen.width << "x" << screen.height;
    EXPECT_FALSE(encoder.Picture().HasPixels());
  }
  // The encoder is whole afterwards.
  pixels.push_back(0x80);
  ScreenImage whole = test::ScreenOver(64, 48, 64 * 4, pixels);
  const std::span<const std::uint8_t> jpeg = encoder.Encode(whole, 30, 1);
  ASSERT_FALSE(jpeg.empty());
  EXPECT_EQ(test::DecodeJpeg(jpeg.data(), jpeg.size()).width, 40u);
}

// Random changes, some over the edges, and a moving arrow: the parts that ScaleFootprint names,
// scaled into the kept picture and transformed again where they lie, give the picture and file
// of a whole-screen pass.
TEST(ScreenEncoder, ScalesChangedPartsIntoTheLastPictureAsAWholePassWould) {
  struct Geometry {
    test::OwnedScreen screen;
    std::int32_t target_height;
  };
  const std::vector<Geometry> geometries = {
      {test::LoadTestScreen(), 600}, {test::RandomScreen(1001, 701, 11), 480}, {test::RandomScreen(800, 600, 12), 768}};
  std::mt19937 random(23);
  const auto between = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (const PixelKernels* kernels : AvailableKernels()) {
    for (const Geometry& geometry : geometries) {
      test::OwnedScreen screen = geometry.screen;
      const int width = static_cast<int>(screen.width);
      const int height = static_cast<int>(screen.height);
      ScreenEncoder encoder(*kernels);
      ScreenImage first = screen.AsGrabbed();
      ASSERT_FALSE(encoder.Encode(first, geometry.target_height, 1).empty());
      const ScaleFootprint footprint(screen.width, screen.height, encoder.Picture().Width(),
                                     encoder.Picture().Height());
      std::optional<PixelPoint> arrow;
      for (int round = 0; round < 12; ++round) {
        const std::string label =
            std::string(kernels->name) + " " + std::to_string(width) + " round " + std::to_string(round);
        std::vector<PixelRect> changed;
        for (int count = between(1, 3); count > 0; --count) {
          const PixelRect rect{between(-20, width - 1), between(-20, height - 1), between(1, 300), between(1, 200)};
          changed.push_back(rect);
          for (int y = std::max(rect.y, 0); y < std::min(rect.Bottom(), height); ++y) {
            for (int x = std::max(rect.x, 0); x < std::min(rect.Right(), width); ++x) {
              std::uint8_t* pixel = screen.pixels.data() + std::size_t{screen.bytes_per_row} * y + x * 4;
              pixel[between(0, 2)] = static_cast<std::uint8_t>(between(0, 255));
            }
          }
        }
        const std::optional<PixelPoint> previous = arrow;
        arrow =
            between(0, 3) == 0 ? std::nullopt : std::optional(PixelPoint{between(-10, width), between(-10, height)});
        for (const std::optional<PixelPoint>& tip : {previous, arrow}) {
          if (tip) {
            changed.push_back(PointerArrowBounds(*tip));
          }
        }

        // Only the parts, packed one after the other.
        auto packed = std::make_shared<std::vector<std::uint8_t>>();
        ScreenImage parts = test::ScreenOver(screen.width, screen.height, screen.bytes_per_row, {});
        for (const PixelRect& rect : changed) {
          const PixelRect part = footprint.SourceFor(rect);
          if (part.IsEmpty()) {
            continue;  // off the screen
          }
          parts.parts.push_back({part, packed->size()});
          for (int y = part.y; y < part.Bottom(); ++y) {
            const std::uint8_t* row = screen.At(static_cast<std::uint32_t>(part.x), static_cast<std::uint32_t>(y));
            packed->insert(packed->end(), row, row + std::size_t(part.width) * 4);
          }
        }
        parts.pixels = *packed;
        parts.keeper = packed;
        parts.pointer_arrow = arrow;
        // Each quality in turn, so that a change of quality comes between parts.
        const int quality_index = round / 4;
        const std::string jpeg = AsString(encoder.Encode(parts, geometry.target_height, quality_index));
        ASSERT_FALSE(jpeg.empty()) << label;
        EXPECT_TRUE(AsString(encoder.LastBytes()) == jpeg) << label;

        ScreenEncoder whole_pass(*kernels);
        ScreenImage whole = screen.AsGrabbed();
        whole.pointer_arrow = arrow;
        EXPECT_TRUE(AsString(whole_pass.Encode(whole, geometry.target_height, quality_index)) == jpeg) << label;
        ASSERT_TRUE(RowsOf(whole_pass.Picture()) == RowsOf(encoder.Picture())) << label;
      }
      // Parts of a screen of another size, or for another height, cannot go into the picture.
      ScreenImage other = test::ScreenOver(screen.width + 1, screen.height, screen.bytes_per_row, screen.pixels);
      other.parts.push_back({PixelRect{0, 0, 1, 1}, 0});
      EXPECT_TRUE(encoder.Encode(other, geometry.target_height, 1).empty());
      EXPECT_TRUE(encoder.LastBytes().empty());
    }
  }
}

}  // namespace
}  // namespace lumivanta
