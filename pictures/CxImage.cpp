#include "pictures/CxImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace lumivanta {
namespace {

constexpr std::uint32_t kHeaderSize = sizeof(BitmapInfoHeader);
constexpr double kInchesPerMetre = 39.37007874015748;

std::uint32_t NormalisedDepth(std::uint32_t bits_per_pixel) {
  if (bits_per_pixel <= 1) {
    return 1;
  }
  if (bits_per_pixel <= 4) {
    return 4;
  }
  if (bits_per_pixel <= 8) {
    return 8;
  }
  return 24;
}

std::uint32_t ColoursForDepth(std::uint32_t bits_per_pixel) { return bits_per_pixel == 24 ? 0 : 1u << bits_per_pixel; }

std::int32_t PixelsPerMetre(std::int32_t dpi) {
  return static_cast<std::int32_t>(std::floor(dpi * kInchesPerMetre + 0.5));
}

}  // namespace

CxImage::CxImage(std::uint32_t format_code) : format_code_(format_code) { ResetHeader(); }

void CxImage::SetLastError(const char* text) { std::snprintf(last_error_, sizeof(last_error_), "%s", text); }

void CxImage::ResetHeader() {
  header_ = BitmapInfoHeader{};
  header_.x_pixels_per_metre = PixelsPerMetre(x_dpi_);
  header_.y_pixels_per_metre = PixelsPerMetre(y_dpi_);
}

void CxImage::WriteHeaderToBlock() {
  if (block_) {
    std::memcpy(block_.get(), &header_, kHeaderSize);
  }
}

void CxImage::SetXDpi(std::int32_t dpi) {
  x_dpi_ = dpi <= 0 ? kDefaultDpi : dpi;
  header_.x_pixels_per_metre = PixelsPerMetre(x_dpi_);
  WriteHeaderToBlock();
}

void CxImage::SetYDpi(std::int32_t dpi) {
  y_dpi_ = dpi <= 0 ? kDefaultDpi : dpi;
  header_.y_pixels_per_metre = PixelsPerMetre(y_dpi_);
  WriteHeaderToBlock();
}

std::uint8_t* CxImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bits_per_pixel,
                              std::uint32_t format_code) {
  if (width == 0 || height == 0) {
    Clear();
    SetLastError("CxImage::Create : width and height must be greater than zero");
    return nullptr;
  }
  const std::uint32_t depth = NormalisedDepth(bits_per_pixel);
  const std::uint32_t colours = ColoursForDepth(depth);
  // Computed in 64 bits, so that a size whose block would not fit in the
  // header's 32-bit fields is refused instead of wrapping round.
  const std::uint64_t stride = (std::uint64_t{width} * depth + 31) / 32 * 4;
  const std::uint64_t image_size = stride * height;
  const std::uint64_t block_size = kHeaderSize + std::uint64_t{colours} * sizeof(RgbQuad) + image_size;
  constexpr auto kMaxSide = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  if (width > kMaxSide || height > kMaxSide || block_size > std::numeric_limits<std::uint32_t>::max()) {
    Clear();
    SetLastError("CxImage::Create : width and height are too large");
    return nullptr;
  }

  // A block of the same byte count is kept: pictures made one after the
  // other at one size then cost no allocation (and no fresh pages).
  if (block_ && BlockSize() == block_size) {
    ResetHeader();
  } else {
    Clear();
    block_.reset(static_cast<std::uint8_t*>(std::malloc(block_size)));
    if (!block_) {
      SetLastError("CxImage::Create can't allocate memory");
      return nullptr;
    }
  }
  header_.header_size = kHeaderSize;
  header_.width = static_cast<std::int32_t>(width);
  header_.height = static_cast<std::int32_t>(height);
  header_.planes = 1;
  header_.bits_per_pixel = static_cast<std::uint16_t>(depth);
  header_.compression = 0;
  header_.image_size = static_cast<std::uint32_t>(image_size);
  header_.colours_used = colours;
  header_.colours_important = 0;
  format_code_ = format_code;
  stride_ = static_cast<std::uint32_t>(stride);
  std::memset(block_.get() + kHeaderSize, 0, colours * sizeof(RgbQuad));
  WriteHeaderToBlock();
  rows_ = block_.get() + kHeaderSize + colours * sizeof(RgbQuad);
  ForgetNearestColour();
  return block_.get();
}

std::uint64_t CxImage::BlockSize() const {
  return block_ ? kHeaderSize + std::uint64_t{header_.colours_used} * sizeof(RgbQuad) + header_.image_size : 0;
}

bool CxImage::CreateFromBitmap(const ScreenImage* bitmap) { return CreateFromBitmap(bitmap, ActiveKernels()); }

bool CxImage::CreateFromBitmap(const ScreenImage* bitmap, const PixelKernels& kernels) {
  if (bitmap == nullptr) {
    Clear();
    return false;
  }
  if (!HoldsAllRows(*bitmap)) {
    Clear();
    SetLastError("CxImage::CreateFromBitmap : the screen image has fewer pixels than its size says");
    return false;
  }
  if (Create(bitmap->width, bitmap->height, 32, 0) == nullptr) {
    return false;
  }
  const std::uint32_t width = Width();
  const std::uint32_t height = Height();
  const std::uint32_t padding = stride_ - width * 3;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* source = bitmap->pixels.data() + std::size_t{bitmap->bytes_per_row} * (height - 1 - y);
    std::uint8_t* row = rows_ + std::size_t{stride_} * y;
    kernels.bgrx_to_bgr(source, row, width);
    std::memset(row + width * 3, 0, padding);
  }
  return true;
}

void CxImage::Clear() {
  block_.reset();
  rows_ = nullptr;
  stride_ = 0;
  ResetHeader();
  ForgetNearestColour();
}

void CxImage::CopyDescriptiveFields(const CxImage& from) {
  quality_ = from.quality_;
  x_dpi_ = from.x_dpi_;
  y_dpi_ = from.y_dpi_;
  background_index_ = from.background_index_;
  background_colour_ = from.background_colour_;
  header_.x_pixels_per_metre = from.header_.x_pixels_per_metre;
  header_.y_pixels_per_metre = from.header_.y_pixels_per_metre;
  WriteHeaderToBlock();
}

void CxImage::TakeOver(CxImage& other) {
  if (&other == this) {
    return;
  }
  Clear();
  block_ = std::move(other.block_);
  header_ = other.header_;
  stride_ = other.stride_;
  rows_ = other.rows_;
  format_code_ = other.format_code_;
  CopyDescriptiveFields(other);
  other.Clear();
}

RgbQuad* CxImage::Palette() {
  return header_.colours_used == 0 || !block_ ? nullptr : reinterpret_cast<RgbQuad*>(block_.get() + kHeaderSize);
}

const RgbQuad* CxImage::Palette() const {
  return header_.colours_used == 0 || !block_ ? nullptr : reinterpret_cast<const RgbQuad*>(block_.get() + kHeaderSize);
}

RgbQuad CxImage::PaletteColor(std::uint32_t index) const {
  const RgbQuad* palette = Palette();
  return palette != nullptr && index < header_.colours_used ? palette[index] : RgbQuad{};
}

void CxImage::SetPaletteColor(std::uint32_t index, RgbQuad colour) {
  RgbQuad* palette = Palette();
  if (palette != nullptr && index < header_.colours_used) {
    palette[index] = colour;
    ForgetNearestColour();
  }
}

void CxImage::CopyPalette(const CxImage& from) {
  RgbQuad* palette = Palette();
  const RgbQuad* source = from.Palette();
  if (palette != nullptr && source != nullptr) {
    const std::uint32_t count = std::min(header_.colours_used, from.header_.colours_used);
    std::memcpy(palette, source, count * sizeof(RgbQuad));
    ForgetNearestColour();
  }
}

bool CxImage::IsGreyScale() const {
  const RgbQuad* palette = Palette();
  if (palette == nullptr) {
    return false;
  }
  for (std::uint32_t i = 0; i < header_.colours_used; ++i) {
    if (palette[i].blue != i || palette[i].green != i || palette[i].red != i) {
      return false;
    }
  }
  return true;
}

std::uint32_t CxImage::PaletteIndexAt(std::uint32_t x, std::uint32_t y) const {
  const std::uint8_t* row = rows_ + std::size_t{stride_} * y;
  switch (header_.bits_per_pixel) {
    case 8:
      return row[x];
    case 4:
      return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default:
      return (row[x / 8] >> (7 - x % 8)) & 1;
  }
}

RgbQuad CxImage::PixelColor(std::int32_t x, std::int32_t y) const {
  if (!block_ || x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= Width() ||
      static_cast<std::uint32_t>(y) >= Height()) {
    return RgbQuad{};
  }
  const auto column = static_cast<std::uint32_t>(x);
  const auto row = static_cast<std::uint32_t>(y);
  if (header_.bits_per_pixel == 24) {
    const std::uint8_t* pixel = rows_ + std::size_t{stride_} * row + column * 3;
    return RgbQuad{pixel[0], pixel[1], pixel[2], 0};
  }
  return Palette()[PaletteIndexAt(column, row)];
}

void CxImage::SetPixelColor(std::int32_t x, std::int32_t y, RgbQuad colour) {
  if (!block_ || x < 0 || y < 0 || static_cast<std::uint32_t>(x) >= Width() ||
      static_cast<std::uint32_t>(y) >= Height()) {
    return;
  }
  const auto column = static_cast<std::uint32_t>(x);
  std::uint8_t* row = rows_ + std::size_t{stride_} * static_cast<std::uint32_t>(y);
  switch (header_.bits_per_pixel) {
    case 24:
      row[column * 3] = colour.blue;
      row[column * 3 + 1] = colour.green;
      row[column * 3 + 2] = colour.red;
      return;
    case 8:
      row[column] = NearestPaletteIndex(colour);
      return;
    case 4: {
      const std::uint8_t index = NearestPaletteIndex(colour);
      std::uint8_t& byte = row[column / 2];
      byte = column % 2 == 0 ? static_cast<std::uint8_t>((byte & 0x0F) | (index << 4))
                             : static_cast<std::uint8_t>((byte & 0xF0) | index);
      return;
    }
    default: {
      const auto mask = static_cast<std::uint8_t>(0x80 >> (column % 8));
      std::uint8_t& byte = row[column / 8];
      byte = NearestPaletteIndex(colour) != 0 ? static_cast<std::uint8_t>(byte | mask)
                                              : static_cast<std::uint8_t>(byte & ~mask);
      return;
    }
  }
}

std::uint8_t CxImage::NearestPaletteIndex(RgbQuad colour) {
  const RgbQuad* palette = Palette();
  if (palette == nullptr) {
    return 0;
  }
  const RgbQuad asked{colour.blue, colour.green, colour.red, 0};
  if (has_last_nearest_ && asked == last_nearest_colour_) {
    return last_nearest_index_;
  }
  const std::uint32_t count =
      std::min(header_.colours_important != 0 ? header_.colours_important : header_.colours_used, header_.colours_used);
  std::int32_t best_distance = 200000;
  std::uint32_t best_index = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::int32_t blue = palette[i].blue - asked.blue;
    const std::int32_t green = palette[i].green - asked.green;
    const std::int32_t red = palette[i].red - asked.red;
    const std::int32_t distance = blue * blue + green * green + red * red;
    if (distance < best_distance) {
      best_distance = distance;
      best_index = i;
      if (distance == 0) {
        break;
      }
    }
  }
  has_last_nearest_ = true;
  last_nearest_colour_ = asked;
  last_nearest_index_ = static_cast<std::uint8_t>(best_index);
  return last_nearest_index_;
}

bool CxImage::ConvertTo24Bit() {
  if (!block_) {
    return false;
  }
  if (header_.bits_per_pixel == 24) {
    return true;
  }
  CxImage converted(format_code_);
  converted.CopyDescriptiveFields(*this);
  if (converted.Create(Width(), Height(), 24, format_code_) == nullptr) {
    return false;
  }
  if (background_index_ >= 0) {
    converted.background_colour_ = PaletteColor(static_cast<std::uint32_t>(background_index_));
    converted.background_index_ = -1;
  }
  const auto width = static_cast<std::int32_t>(Width());
  const auto height = static_cast<std::int32_t>(Height());
  for (std::int32_t y = 0; y < height && escape_ == 0; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      converted.SetPixelColor(x, y, PixelColor(x, y));
    }
  }
  TakeOver(converted);
  return true;
}

}  // namespace lumivanta
