#pragma once

// One picture in memory, all in one block: a 40-byte header, the palette,
// then the rows, bottom row first, blue-green-red, each row padded to a
// multiple of 4 bytes. Scaling and encoding walk these rows directly. Pixel
// coordinates count x from the left and y from the bottom (stored) row.

#include <cstddef>
#include <cstdint>

#include "pictures/BitmapInfoHeader.h"
#include "pictures/MallocBuffer.h"
#include "pictures/PixelKernels.h"
#include "pictures/RgbQuad.h"
#include "pictures/ScreenImage.h"

namespace lumivanta {

class CPictureFile;

class CxImage {
 public:
  static constexpr std::size_t kErrorTextSize = 256;
  static constexpr std::int32_t kDefaultDpi = 96;
  static constexpr std::uint8_t kDefaultQuality = 90;

  explicit CxImage(std::uint32_t format_code = 0);
  CxImage(const CxImage&) = delete;
  CxImage& operator=(const CxImage&) = delete;
  ~CxImage() = default;

  // Replaces the content by a new picture whose rows are not initialised; the
  // depth becomes 1, 4, 8 or 24 bits. The block is kept when the new picture
  // needs as many bytes as the old one. Returns the pixel block, or null (and
  // the picture empty) with the reason in LastError when a size is 0, the
  // block's byte count does not fit in 32 bits, or memory runs out.
  std::uint8_t* Create(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel,
                       std::uint32_t format_code);
  // Replaces the content by a 24-bit copy of a captured screen (turned bottom
  // row first), in the same block when the size stays. False, and the picture
  // empty, when there is no screen or its pixels are fewer than its size says.
  bool CreateFromBitmap(const ScreenImage* bitmap);
  bool CreateFromBitmap(const ScreenImage* bitmap, const PixelKernels& kernels);
  void Clear();
  // Releases the own content and takes the other picture's block, header and
  // descriptive fields without copying; the other picture becomes empty.
  void TakeOver(CxImage& other);

  bool HasPixels() const { return block_ != nullptr; }
  std::uint32_t Width() const { return static_cast<std::uint32_t>(header_.width); }
  std::uint32_t Height() const { return static_cast<std::uint32_t>(header_.height); }
  std::uint32_t BitsPerPixel() const { return header_.bits_per_pixel; }
  std::uint32_t Stride() const { return stride_; }
  std::uint32_t FormatCode() const { return format_code_; }
  const BitmapInfoHeader& Header() const { return header_; }
  // The whole block: header, palette and rows; null when empty.
  const std::uint8_t* Block() const { return block_.get(); }
  std::uint8_t* Rows() { return rows_; }
  const std::uint8_t* Rows() const { return rows_; }

  bool IsGreyScale() const;
  // Turns a palette picture into a 24-bit one; true also when it has 24 bits already.
  bool ConvertTo24Bit();

  RgbQuad PixelColor(std::int32_t x, std::int32_t y) const;
  // Ignored outside the picture; palette pictures store the nearest entry.
  void SetPixelColor(std::int32_t x, std::int32_t y, RgbQuad colour);
  // The nearest palette entry by squared distance, the lowest index on a tie;
  // asking the same colour twice in a row does not search again.
  std::uint8_t NearestPaletteIndex(RgbQuad colour);
  RgbQuad PaletteColor(std::uint32_t index) const;
  void SetPaletteColor(std::uint32_t index, RgbQuad colour);

  // Resamples to the new size in place, for pictures of every depth: a
  // reduction averages the covered source area, an enlargement interpolates
  // with cubic convolution. The reference for ScaleToFast.
  bool ScaleTo(std::int32_t new_width, std::int32_t new_height);
  // The same result, within 1 per channel, for 24-bit pictures in a fraction
  // of the time (separable fixed-point passes); other depths use ScaleTo.
  bool ScaleToFast(std::int32_t new_width, std::int32_t new_height);
  bool ScaleToFast(std::int32_t new_width, std::int32_t new_height, const PixelKernels& kernels);
  static float CubicKernel(float t);

  // Writes a baseline JFIF file; false with the reason in LastError.
  bool EncodeJpeg(CPictureFile* file);

  std::uint8_t Quality() const { return quality_; }
  void SetQuality(std::uint8_t quality) { quality_ = quality; }
  std::int32_t XDpi() const { return x_dpi_; }
  std::int32_t YDpi() const { return y_dpi_; }
  // A value of 0 or less means 96; the header receives it as pixels per metre.
  void SetXDpi(std::int32_t dpi);
  void SetYDpi(std::int32_t dpi);
  std::int32_t BackgroundIndex() const { return background_index_; }
  void SetBackgroundIndex(std::int32_t index) { background_index_ = index; }
  RgbQuad BackgroundColour() const { return background_colour_; }

  const char* LastError() const { return last_error_; }
  // Percentage of rows done by the running scaling.
  std::int32_t Progress() const { return progress_; }
  // A non-zero value stops scaling and conversion at the next row.
  void SetEscape(std::int32_t escape) { escape_ = escape; }

 private:
  void SetLastError(const char* text);
  // Bytes of the block as the header describes it; 0 when there is none.
  std::uint64_t BlockSize() const;
  void CopyDescriptiveFields(const CxImage& from);
  void CopyPalette(const CxImage& from);
  void ResetHeader();
  void WriteHeaderToBlock();
  RgbQuad* Palette();
  const RgbQuad* Palette() const;
  std::uint32_t PaletteIndexAt(std::uint32_t x, std::uint32_t y) const;
  void ForgetNearestColour() { has_last_nearest_ = false; }

  RgbQuad ClampedPixel(std::int32_t x, std::int32_t y) const;
  RgbQuad BicubicSample(float x, float y) const;
  RgbQuad AreaAverage(float x, float y, float w, float h) const;

  MallocBuffer block_;
  BitmapInfoHeader header_;
  std::uint32_t stride_ = 0;
  std::uint8_t* rows_ = nullptr;
  std::uint32_t format_code_ = 0;
  char last_error_[kErrorTextSize] = {};
  std::int32_t progress_ = 0;
  std::int32_t escape_ = 0;
  std::int32_t background_index_ = -1;
  RgbQuad background_colour_;
  std::uint8_t quality_ = kDefaultQuality;
  std::int32_t x_dpi_ = kDefaultDpi;
  std::int32_t y_dpi_ = kDefaultDpi;
  bool has_last_nearest_ = false;
  RgbQuad last_nearest_colour_;
  std::uint8_t last_nearest_index_ = 0;
};

}  // namespace lumivanta
