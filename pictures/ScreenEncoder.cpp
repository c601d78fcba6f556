#include "pictures/ScreenEncoder.h"

#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "pictures/PointerArrow.h"

namespace lumivanta {

std::uint8_t JpegQualityForIndex(std::int32_t quality_index) {
  switch (quality_index) {
    case 1:
      return 60;
    case 2:
      return 99;
    default:
      return 25;
  }
}

std::int32_t WidthForHeight(std::uint32_t width, std::uint32_t height, std::int32_t target_height) {
  if (height == 0 || target_height <= 0) {
    return 0;
  }
  const auto product = static_cast<float>(std::uint64_t{width} * static_cast<std::uint32_t>(target_height));
  const float new_width = product / static_cast<float>(height);
  return new_width < 2147483648.0f ? static_cast<std::int32_t>(new_width) : 0;
}

EncodedPicture ConvertScaleEncode(CxImage& picture, std::int32_t target_height, std::int32_t quality_index) {
  // A grey-scale palette picture stays one and is encoded with one component.
  if (!picture.IsGreyScale()) {
    picture.ConvertTo24Bit();
  }
  if (target_height > 0 && static_cast<std::uint32_t>(target_height) != picture.Height()) {
    // A failed scaling leaves the picture at its captured size.
    picture.ScaleToFast(WidthForHeight(picture.Width(), picture.Height(), target_height), target_height);
  }
  picture.SetQuality(JpegQualityForIndex(quality_index));

  CMemoryFile file;
  file.Open();
  const bool encoded = picture.EncodeJpeg(&file);
  EncodedPicture result;
  result.bytes.reset(file.DetachBuffer(true));
  if (encoded && file.Size() > 0) {
    result.byte_count = static_cast<std::uint32_t>(file.Size());
  } else {
    result.bytes.reset();
  }
  return result;
}

ScreenEncoder::ScreenEncoder(const PixelKernels& kernels) : kernels_(kernels) {}

std::span<const std::uint8_t> ScreenEncoder::Encode(ScreenImage& screen, std::int32_t target_height,
                                                    std::int32_t quality_index) {
  const Encoded before = std::exchange(last_, Encoded{});
  if (screen.width == 0 || screen.height == 0 || !HoldsAllRows(screen) || !AwaitPixels(screen)) {
    picture_.Clear();
    return {};
  }
  const bool parts = !screen.parts.empty();
  if (parts && (!before.valid || !before.scaled || before.screen_width != screen.width ||
                before.screen_height != screen.height || before.target_height != target_height)) {
    picture_.Clear();
    return {};
  }
  DrawPointerArrow(screen);
  bool scaled = false;
  if (parts) {
    scaled = ScaleParts(screen, target_height);
    if (!scaled) {
      picture_.Clear();
      return {};
    }
  } else if (target_height > 0 && static_cast<std::uint32_t>(target_height) != screen.height) {
    const std::int32_t width = WidthForHeight(screen.width, screen.height, target_height);
    scaled =
        width > 0 && ScaleScreen(screen, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(target_height));
  }
  // Without scaling, or when the scaled picture cannot be made, the picture
  // keeps the screen's size, as a failed scaling leaves it.
  if (!scaled && !picture_.CreateFromBitmap(&screen, kernels_)) {
    return {};
  }

  picture_.SetQuality(JpegQualityForIndex(quality_index));
  // The coefficients of the last picture, before the parts went in, are kept
  // from its encoding or read back from its file.
  const bool partial =
      parts && before.quality_index == quality_index && partial_.Prepare(picture_, changed_, LastBytesOf(before));
  if (!partial) {
    partial_.Forget();
  }
  if (!file_.Truncate() && !file_.Open()) {
    partial_.Forget();
    return {};
  }
  bool encoded = partial && partial_.Encode(picture_, &file_);
  if (!encoded) {
    // A partial encoding that failed may have written some bytes.
    encoded = (!partial || file_.Truncate()) && picture_.EncodeJpeg(&file_);
  }
  if (!encoded || file_.Size() <= 0) {
    partial_.Forget();
    return {};
  }
  last_ = Encoded{true,   screen.width,     screen.height,    target_height, quality_index, screen.pointer_arrow,
                  scaled, picture_.Width(), picture_.Height()};
  last_byte_count_ = static_cast<std::size_t>(file_.Size());
  return LastBytes();
}

std::span<const std::uint8_t> ScreenEncoder::LastBytes() const { return LastBytesOf(last_); }

std::span<const std::uint8_t> ScreenEncoder::LastBytesOf(const Encoded& encoded) const {
  if (!encoded.valid) {
    return {};
  }
  return {file_.Data(), last_byte_count_};
}

bool ScreenEncoder::ScaleParts(const ScreenImage& screen, std::int32_t target_height) {
  const std::uint32_t width = picture_.Width();
  const auto height = static_cast<std::uint32_t>(target_height);
  // The scaler still holds the weights of the last screen's scaling.
  if (picture_.Height() != height || !scaler_.Prepare(screen.width, screen.height, width, height, 4)) {
    return false;
  }
  try {
    if (!footprint_ || footprint_size_ != std::array{screen.width, screen.height, width, height}) {
      footprint_.emplace(screen.width, screen.height, width, height);
      footprint_size_ = {screen.width, screen.height, width, height};
    }
  } catch (const std::bad_alloc&) {
    footprint_.reset();
    return false;
  }
  const std::uint32_t stride = picture_.Stride();
  std::uint8_t* rows = picture_.Rows();
  changed_.clear();
  for (const ScreenPart& part : screen.parts) {
    const PixelRect pixels = footprint_->PixelsWithin(part.rect);
    if (pixels.IsEmpty()) {
      continue;
    }
    changed_.push_back(pixels);
    // Counted from the bottom, as the scaling counts rows: the part's lowest
    // row is the first of the rows it holds.
    const auto row_bytes = static_cast<std::ptrdiff_t>(part.rect.width) * 4;
    const SourceRows source{screen.pixels.data() + part.offset + row_bytes * (part.rect.height - 1), -row_bytes,
                            static_cast<std::ptrdiff_t>(screen.height) - part.rect.Bottom()};
    const ColumnSpan source_columns{static_cast<std::uint32_t>(part.rect.x),
                                    static_cast<std::uint32_t>(part.rect.width)};
    const ColumnSpan picture_columns{static_cast<std::uint32_t>(pixels.x), static_cast<std::uint32_t>(pixels.width)};
    for (int row = pixels.y; row < pixels.Bottom(); ++row) {
      const std::uint32_t dy = height - 1 - static_cast<std::uint32_t>(row);
      scaler_.ScaleRowPart(source, dy, source_columns, picture_columns, kernels_, rows + std::size_t{stride} * dy);
    }
  }
  return true;
}

bool ScreenEncoder::ScaleScreen(const ScreenImage& screen, std::uint32_t width, std::uint32_t height) {
  if (picture_.Create(width, height, 24, 0) == nullptr ||
      !scaler_.Prepare(screen.width, screen.height, width, height, 4)) {
    return false;
  }
  // The picture's row i, counted from the bottom, comes from the screen's
  // row height - 1 - i, counted from the top.
  const auto row_bytes = static_cast<std::ptrdiff_t>(screen.bytes_per_row);
  const SourceRows source{screen.pixels.data() + row_bytes * (screen.height - 1), -row_bytes};
  const std::uint32_t stride = picture_.Stride();
  const std::uint32_t padding = stride - width * 3;
  std::uint8_t* rows = picture_.Rows();
  for (std::uint32_t dy = 0; dy < height; ++dy) {
    std::uint8_t* row = rows + std::size_t{stride} * dy;
    scaler_.ScaleRow(source, dy, kernels_, row);
    std::memset(row + std::size_t{width} * 3, 0, padding);
  }
  return true;
}

}  // namespace lumivanta
