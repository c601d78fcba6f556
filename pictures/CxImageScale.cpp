// The reference scaling: one pass over the destination, each pixel computed
// by its own call, in single precision.

#include <algorithm>
#include <cmath>

#include "pictures/CxImage.h"
#include "pictures/ScaleGeometry.h"

namespace lumivanta {
namespace {

RgbQuad ClampedColour(float blue, float green, float red) {
  // Clamped, then truncated toward zero.
  return RgbQuad{static_cast<std::uint8_t>(std::clamp(blue, 0.0f, 255.0f)),
                 static_cast<std::uint8_t>(std::clamp(green, 0.0f, 255.0f)),
                 static_cast<std::uint8_t>(std::clamp(red, 0.0f, 255.0f)), 0};
}

}  // namespace

float CxImage::CubicKernel(float t) {
  constexpr float a = -0.5f;
  const float u = std::fabs(t);
  if (u < 1.0f) {
    return (a + 2.0f) * u * u * u - (a + 3.0f) * u * u + 1.0f;
  }
  if (u < 2.0f) {
    return a * u * u * u - 5.0f * a * u * u + 8.0f * a * u - 4.0f * a;
  }
  return 0.0f;
}

RgbQuad CxImage::ClampedPixel(std::int32_t x, std::int32_t y) const {
  const auto last_column = static_cast<std::int32_t>(Width()) - 1;
  const auto last_row = static_cast<std::int32_t>(Height()) - 1;
  return PixelColor(std::min(std::max(x, 0), last_column), std::min(std::max(y, 0), last_row));
}

RgbQuad CxImage::BicubicSample(float x, float y) const {
  const std::int32_t xi = PixelLeftOf(x);
  const std::int32_t yi = PixelLeftOf(y);
  float kx[4];
  float ky[4];
  for (std::int32_t i = 0; i < 4; ++i) {
    kx[i] = CubicKernel(static_cast<float>(xi - 1 + i) - x);
    ky[i] = CubicKernel(static_cast<float>(yi - 1 + i) - y);
  }
  float blue = 0.0f;
  float green = 0.0f;
  float red = 0.0f;
  for (std::int32_t j = 0; j < 4; ++j) {
    for (std::int32_t i = 0; i < 4; ++i) {
      const float weight = ky[j] * kx[i];
      const RgbQuad colour = ClampedPixel(xi - 1 + i, yi - 1 + j);
      blue += weight * colour.blue;
      green += weight * colour.green;
      red += weight * colour.red;
    }
  }
  return ClampedColour(blue, green, red);
}

RgbQuad CxImage::AreaAverage(float x, float y, float w, float h) const {
  const float left = x - w / 2.0f;
  const float right = x + w / 2.0f;
  const float bottom = y - h / 2.0f;
  const float top = y + h / 2.0f;
  const auto x1 = static_cast<std::int32_t>(left + 0.5f);
  const auto y1 = static_cast<std::int32_t>(bottom + 0.5f);
  const auto x2 = static_cast<std::int32_t>(right + 0.5f);
  const auto y2 = static_cast<std::int32_t>(top + 0.5f);
  const float wa = OverlapWithPixel(left, right, x1);
  const float ha = OverlapWithPixel(bottom, top, y1);
  // An area narrower than a pixel can lie inside one pixel; it is counted once.
  const float wb = x2 == x1 ? 0.0f : OverlapWithPixel(left, right, x2);
  const float hb = y2 == y1 ? 0.0f : OverlapWithPixel(bottom, top, y2);

  float blue = 0.0f;
  float green = 0.0f;
  float red = 0.0f;
  const auto add = [&](std::int32_t px, std::int32_t py, float weight) {
    const RgbQuad colour = ClampedPixel(px, py);
    blue += weight * colour.blue;
    green += weight * colour.green;
    red += weight * colour.red;
  };
  add(x1, y1, wa * ha);
  add(x2, y1, wb * ha);
  add(x1, y2, wa * hb);
  add(x2, y2, wb * hb);
  for (std::int32_t px = x1 + 1; px < x2; ++px) {
    add(px, y1, ha);
    add(px, y2, hb);
  }
  for (std::int32_t py = y1 + 1; py < y2; ++py) {
    add(x1, py, wa);
    add(x2, py, wb);
  }
  for (std::int32_t py = y1 + 1; py < y2; ++py) {
    for (std::int32_t px = x1 + 1; px < x2; ++px) {
      add(px, py, 1.0f);
    }
  }
  const float inverse_surface = 1.0f / (w * h);
  return ClampedColour(blue * inverse_surface, green * inverse_surface, red * inverse_surface);
}

bool CxImage::ScaleTo(std::int32_t new_width, std::int32_t new_height) {
  if (new_width < 1 || new_height < 1 || !HasPixels()) {
    return false;
  }
  if (static_cast<std::uint32_t>(new_width) == Width() && static_cast<std::uint32_t>(new_height) == Height()) {
    return true;
  }
  const float x_scale = static_cast<float>(Width()) / static_cast<float>(new_width);
  const float y_scale = static_cast<float>(Height()) / static_cast<float>(new_height);

  CxImage scaled(format_code_);
  scaled.CopyDescriptiveFields(*this);
  if (scaled.Create(static_cast<std::uint32_t>(new_width), static_cast<std::uint32_t>(new_height), BitsPerPixel(),
                    format_code_) == nullptr) {
    return false;
  }
  scaled.CopyPalette(*this);

  const bool interpolate = x_scale <= 1.0f && y_scale <= 1.0f;
  const bool direct_rows = interpolate && BitsPerPixel() == 24;
  for (std::int32_t dy = 0; dy < new_height; ++dy) {
    progress_ = static_cast<std::int32_t>(100LL * dy / new_height);
    if (escape_ != 0) {
      break;
    }
    const float sy = (static_cast<float>(dy) + 0.5f) * y_scale - 0.5f;
    std::uint8_t* row = scaled.rows_ + std::size_t{scaled.stride_} * static_cast<std::uint32_t>(dy);
    for (std::int32_t dx = 0; dx < new_width; ++dx) {
      const float sx = (static_cast<float>(dx) + 0.5f) * x_scale - 0.5f;
      if (!interpolate) {
        scaled.SetPixelColor(dx, dy, AreaAverage(sx, sy, x_scale, y_scale));
      } else if (direct_rows) {
        const RgbQuad colour = BicubicSample(sx, sy);
        row[dx * 3] = colour.blue;
        row[dx * 3 + 1] = colour.green;
        row[dx * 3 + 2] = colour.red;
      } else {
        scaled.SetPixelColor(dx, dy, BicubicSample(sx, sy));
      }
    }
  }
  TakeOver(scaled);
  return true;
}

}  // namespace lumivanta
