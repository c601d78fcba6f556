#pragma once

// Pictures for the tests of the pictures core: the committed test screen, random
// pictures, and a JPEG decoder that reports what a file holds.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pictures/CxImage.h"
#include "pictures/ScreenImage.h"

namespace lumivanta::test {

// A screen of the given size over pixels that the caller keeps.
ScreenImage ScreenOver(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_row,
                       std::span<std::uint8_t> pixels);

// A captured screen that owns its pixels (32 bits: blue, green, red, unused; top row first).
struct OwnedScreen {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bytes_per_row = 0;
  std::vector<std::uint8_t> pixels;

  // The screen as a grab hands it over: a copy of the pixels that the receiver keeps, and may draw into.
  ScreenImage AsGrabbed() const;
  // Pixel (x, row) counted from the top.
  const std::uint8_t* At(std::uint32_t x, std::uint32_t row) const {
    return pixels.data() + std::size_t{bytes_per_row} * row + x * 4;
  }
};

// A PNG file as a captured screen.
OwnedScreen LoadPng(const std::string& file);

OwnedScreen LoadTestScreen();

// A screen of the given size cut from the test screen (repeated where it is larger).
OwnedScreen ScreenOfSize(const OwnedScreen& source, std::uint32_t width, std::uint32_t height);

OwnedScreen RandomScreen(std::uint32_t width, std::uint32_t height, std::uint32_t seed);

void FillRandom(CxImage& picture, std::uint32_t width, std::uint32_t height, std::uint32_t seed);

// The largest difference of one channel of one pixel between two 24-bit pictures of one size.
int MaxChannelDifference(const CxImage& a, const CxImage& b);

struct DecodedJpeg {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int components = 0;
  bool jfif = false;
  int density_unit = 0;
  int x_density = 0;
  int y_density = 0;
  std::vector<int> markers;          // every marker saved (COM and APP0 to APP15)
  std::vector<std::uint8_t> pixels;  // top row first, red-green-blue (or grey)

  const std::uint8_t* At(std::uint32_t x, std::uint32_t row) const {
    return pixels.data() + (std::size_t{width} * row + x) * components;
  }
};

DecodedJpeg DecodeJpeg(const std::uint8_t* data, std::size_t size);
DecodedJpeg DecodeJpeg(const std::string& bytes);

}  // namespace lumivanta::test
