#pragma once

// What the publish worker makes of a captured screen: a JPEG file of the
// target height at the quality of the quality index.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pictures/CxImage.h"
#include "pictures/MallocBuffer.h"
#include "pictures/MemoryFile.h"
#include "pictures/PartialJpegEncoder.h"
#include "pictures/PixelKernels.h"
#include "pictures/ScaleFootprint.h"
#include "pictures/ScreenImage.h"
#include "pictures/SeparableScaler.h"

namespace lumivanta {

// 0 gives 25, 1 gives 60, 2 gives 99; any other index gives 25.
std::uint8_t JpegQualityForIndex(std::int32_t quality_index);

// The width that keeps the aspect ratio at the target height: width x target
// height rounded to single precision, divided in single precision, truncated.
// 0 when the result does not fit.
std::int32_t WidthForHeight(std::uint32_t width, std::uint32_t height, std::int32_t target_height);

// A JPEG file in memory from the C library's allocator.
struct EncodedPicture {
  MallocBuffer bytes;
  std::uint32_t byte_count = 0;
};

// A picture with pixels converted to 24 bits unless it is grey-scale, scaled
// to the target height (the fast path), encoded at the quality of the index.
// No bytes when the encoding failed.
EncodedPicture ConvertScaleEncode(CxImage& picture, std::int32_t target_height, std::int32_t quality_index);

// Turns captured screens into JPEG files, one after the other, keeping its
// buffers between pictures: the picture, the scaling's weights and working
// rows, and the file. A screen that is scaled goes straight from its 32-bit
// rows into the picture, without a 24-bit copy at full size. The result is
// the same, byte for byte, as CreateFromBitmap and ConvertScaleEncode give.
// One thread at a time.
//
// It keeps the last picture, so that a screen of which only parts were
// grabbed is scaled again only there and transformed again only in the
// blocks of the JPEG file they touch, and the last file, so that an
// unchanged screen is sent again without any work.
class ScreenEncoder {
 public:
  explicit ScreenEncoder(const PixelKernels& kernels = ActiveKernels());
  ScreenEncoder(const ScreenEncoder&) = delete;
  ScreenEncoder& operator=(const ScreenEncoder&) = delete;

  // Draws the pointer arrow into the screen where screen.pointer_arrow says,
  // brings the screen to 24 bits at the target height (width in proportion,
  // WidthForHeight; target 0 or less, or equal to the screen's height, or a
  // size the picture cannot have: the screen's own size), and encodes it as
  // JPEG at the quality of the index. The bytes stay valid until the next
  // Encode or the encoder's end; empty when the screen has no pixels, fewer
  // pixels than its size says, memory runs out or the encoding fails.
  // A screen of parts is scaled into the last picture where they lie; it
  // gives no bytes unless the last screen had its size and was scaled to the
  // same height (LastEncoded().scaled).
  std::span<const std::uint8_t> Encode(ScreenImage& screen, std::int32_t target_height, std::int32_t quality_index);

  // What the last Encode was given; valid only when it gave bytes.
  struct Encoded {
    bool valid = false;
    std::uint32_t screen_width = 0;
    std::uint32_t screen_height = 0;
    std::int32_t target_height = 0;
    std::int32_t quality_index = 0;
    std::optional<PixelPoint> pointer_arrow;
    // The picture was scaled from the screen: parts can be scaled into it.
    bool scaled = false;
    std::uint32_t picture_width = 0;
    std::uint32_t picture_height = 0;
  };
  const Encoded& LastEncoded() const { return last_; }
  // The bytes the last Encode gave; empty unless it gave any.
  std::span<const std::uint8_t> LastBytes() const;

  // The picture that was encoded last (24 bits, bottom row first); empty
  // after a screen without pixels.
  const CxImage& Picture() const { return picture_; }

 private:
  bool ScaleScreen(const ScreenImage& screen, std::uint32_t width, std::uint32_t height);
  // Scales the screen's parts into the picture, which holds the last screen.
  bool ScaleParts(const ScreenImage& screen, std::int32_t target_height);
  std::span<const std::uint8_t> LastBytesOf(const Encoded& encoded) const;

  const PixelKernels& kernels_;
  CxImage picture_;
  SeparableScaler scaler_;
  // For the sizes of the last scaling with parts: screen and picture.
  std::optional<ScaleFootprint> footprint_;
  std::array<std::uint32_t, 4> footprint_size_{};
  // Where the last ScaleParts changed the picture.
  std::vector<PixelRect> changed_;
  PartialJpegEncoder partial_;
  CMemoryFile file_;
  Encoded last_;
  std::size_t last_byte_count_ = 0;
};

}  // namespace lumivanta
