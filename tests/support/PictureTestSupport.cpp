#include "tests/support/PictureTestSupport.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

namespace lumivanta::test {

ScreenImage ScreenOver(std::uint32_t width, std::uint32_t height, std::uint32_t bytes_per_row,
                       std::span<std::uint8_t> pixels) {
  ScreenImage screen;
  screen.width = width;
  screen.height = height;
  screen.bytes_per_row = bytes_per_row;
  screen.pixels = pixels;
  return screen;
}

ScreenImage OwnedScreen::AsGrabbed() const {
  auto copy = std::make_shared<std::vector<std::uint8_t>>(pixels);
  ScreenImage screen = ScreenOver(width, height, bytes_per_row, *copy);
  screen.keeper = copy;
  return screen;
}

OwnedScreen LoadPng(const std::string& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, file.c_str()) == 0) {
    throw std::runtime_error("cannot read " + file);
  }
  image.format = PNG_FORMAT_BGRA;
  OwnedScreen screen;
  screen.width = image.width;
  screen.height = image.height;
  screen.bytes_per_row = image.width * 4;
  screen.pixels.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, screen.pixels.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    throw std::runtime_error("cannot decode " + file);
  }
  return screen;
}

OwnedScreen LoadTestScreen() { return LoadPng(LUMIVANTA_TEST_SCREEN); }

OwnedScreen ScreenOfSize(const OwnedScreen& source, std::uint32_t width, std::uint32_t height) {
  OwnedScreen screen;
  screen.width = width;
  screen.height = height;
  screen.bytes_per_row = width * 4;
  screen.pixels.resize(std::size_t{screen.bytes_per_row} * height);
  for (std::uint32_t row = 0; row < height; ++row) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint8_t* from = source.At(x % source.width, row % source.height);
      std::copy(from, from + 4, screen.pixels.begin() + std::size_t{screen.bytes_per_row} * row + x * 4);
    }
  }
  return screen;
}

OwnedScreen RandomScreen(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  OwnedScreen screen;
  screen.width = width;
  screen.height = height;
  screen.bytes_per_row = width * 4;
  screen.pixels.resize(std::size_t{screen.bytes_per_row} * height);
  std::mt19937 generator(seed);
  for (auto& byte : screen.pixels) {
    byte = static_cast<std::uint8_t>(generator());
  }
  return screen;
}

void FillRandom(CxImage& picture, std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  if (picture.Create(width, height, 24, 0) == nullptr) {
    throw std::runtime_error("Create failed");
  }
  std::mt19937 generator(seed);
  for (std::uint32_t i = 0; i < picture.Stride() * height; ++i) {
    picture.Rows()[i] = static_cast<std::uint8_t>(generator());
  }
}

int MaxChannelDifference(const CxImage& a, const CxImage& b) {
  int largest = 0;
  for (std::uint32_t y = 0; y < a.Height(); ++y) {
    const std::uint8_t* row_a = a.Rows() + std::size_t{a.Stride()} * y;
    const std::uint8_t* row_b = b.Rows() + std::size_t{b.Stride()} * y;
    for (std::uint32_t i = 0; i < a.Width() * 3; ++i) {
      largest = std::max(largest, std::abs(row_a[i] - row_b[i]));
    }
  }
  return largest;
}

DecodedJpeg DecodeJpeg(const std::uint8_t* data, std::size_t size) {
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  decompressor.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompressor);
  jpeg_save_markers(&decompressor, JPEG_COM, 0xFFFF);
  for (int app = 0; app < 16; ++app) {
    jpeg_save_markers(&decompressor, JPEG_APP0 + app, 0xFFFF);
  }
  jpeg_mem_src(&decompressor, data, static_cast<unsigned long>(size));
  jpeg_read_header(&decompressor, TRUE);
  jpeg_start_decompress(&decompressor);
  DecodedJpeg decoded;
  decoded.width = decompressor.output_width;
  decoded.height = decompressor.output_height;
  decoded.components = decompressor.output_components;
  decoded.jfif = decompressor.saw_JFIF_marker != 0;
  decoded.density_unit = decompressor.density_unit;
  decoded.x_density = decompressor.X_density;
  decoded.y_density = decompressor.Y_density;
  for (jpeg_saved_marker_ptr marker = decompressor.marker_list; marker != nullptr; marker = marker->next) {
    decoded.markers.push_back(marker->marker);
  }
  decoded.pixels.resize(std::size_t{decoded.width} * decoded.height * decoded.components);
  while (decompressor.output_scanline < decompressor.output_height) {
    JSAMPROW row =
        decoded.pixels.data() + std::size_t{decompressor.output_scanline} * decoded.width * decoded.components;
    jpeg_read_scanlines(&decompressor, &row, 1);
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
  return decoded;
}

DecodedJpeg DecodeJpeg(const std::string& bytes) {
  return DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace lumivanta::test
