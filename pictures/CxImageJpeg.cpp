// The picture's JPEG writer on libjpeg's version 6b interface.

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "pictures/CxImage.h"
#include "pictures/JpegFileDestination.h"
#include "pictures/PictureFile.h"

namespace lumivanta {
namespace {

// The library's standard error manager, whose error exit writes the message
// into the picture's error text and jumps back to GuardedCompress.
struct JpegErrorManager {
  jpeg_error_mgr standard;  // first member: the library hands its address back
  std::jmp_buf return_point;
  char* error_text = nullptr;
  std::size_t error_text_size = 0;
};

[[noreturn]] void ExitWithMessage(j_common_ptr compressor) {
  auto* errors = reinterpret_cast<JpegErrorManager*>(compressor->err);
  char message[JMSG_LENGTH_MAX] = {};
  (*compressor->err->format_message)(compressor, message);
  std::snprintf(errors->error_text, errors->error_text_size, "%s", message);
  std::longjmp(errors->return_point, 1);
}

struct JpegInput {
  const std::uint8_t* rows = nullptr;  // bottom row first
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t stride = 0;
  std::uint32_t bits_per_pixel = 0;
  std::uint8_t quality = 0;
  std::uint16_t x_density = 0;
  std::uint16_t y_density = 0;
};

// Grey-scale pictures of 1 or 4 bits: one byte per pixel, the index being the grey level.
void UnpackGreyRow(const std::uint8_t* row, std::uint32_t width, std::uint32_t bits_per_pixel, JSAMPROW out) {
  for (std::uint32_t x = 0; x < width; ++x) {
    if (bits_per_pixel == 4) {
      out[x] = x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    } else {
      out[x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
  }
}

// Everything that may end in the error exit. Nothing here has a destructor, so
// the jump back skips no clean-up.
void Compress(jpeg_compress_struct& compressor, jpeg_destination_mgr* destination, const JpegInput& input) {
  jpeg_create_compress(&compressor);
  compressor.dest = destination;
  compressor.image_width = input.width;
  compressor.image_height = input.height;
  const bool grey = input.bits_per_pixel != 24;
  if (grey) {
    compressor.input_components = 1;
    compressor.in_color_space = JCS_GRAYSCALE;
  } else {
    compressor.input_components = 3;
#if defined(JCS_EXTENSIONS)
    // libjpeg-turbo reads blue-green-red rows as they are stored.
    compressor.in_color_space = JCS_EXT_BGR;
#else
    compressor.in_color_space = JCS_RGB;
#endif
  }
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, input.quality, FALSE);
  compressor.density_unit = 1;
  compressor.X_density = input.x_density;
  compressor.Y_density = input.y_density;
  jpeg_start_compress(&compressor, TRUE);

  // Room for one stored row, or for one byte per pixel of an unpacked grey row.
  const JDIMENSION row_buffer_size = std::max(input.stride, input.width) + 8;
  JSAMPROW row_buffer =
      (*compressor.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&compressor), JPOOL_IMAGE, row_buffer_size, 1)[0];
  while (compressor.next_scanline < compressor.image_height) {
    const std::uint32_t stored_row = input.height - 1 - compressor.next_scanline;
    const std::uint8_t* row = input.rows + std::size_t{input.stride} * stored_row;
    JSAMPROW scanline = row_buffer;
    if (grey && input.bits_per_pixel < 8) {
      UnpackGreyRow(row, input.width, input.bits_per_pixel, row_buffer);
    } else {
#if defined(JCS_EXTENSIONS)
      // The library only reads the rows handed to it.
      scanline = const_cast<JSAMPROW>(row);
#else
      std::memcpy(row_buffer, row, input.stride);
      if (!grey) {
        for (std::uint32_t x = 0; x < input.width; ++x) {
          std::swap(row_buffer[x * 3], row_buffer[x * 3 + 2]);
        }
      }
#endif
    }
    jpeg_write_scanlines(&compressor, &scanline, 1);
  }
  jpeg_finish_compress(&compressor);
}

// The only place that catches the error exit's jump.
bool GuardedCompress(JpegErrorManager& errors, jpeg_compress_struct& compressor, jpeg_destination_mgr* destination,
                     const JpegInput& input) {
  if (setjmp(errors.return_point) != 0) {
    return false;
  }
  Compress(compressor, destination, input);
  return true;
}

}  // namespace

bool CxImage::EncodeJpeg(CPictureFile* file) {
  if (file == nullptr) {
    SetLastError("null file handler");
    return false;
  }
  if (!HasPixels()) {
    SetLastError("null image!!!");
    return false;
  }
  if (BitsPerPixel() != 24 && !IsGreyScale()) {
    SetLastError("JPEG can save only RGB or GreyScale images");
    return false;
  }
  JpegInput input;
  input.rows = rows_;
  input.width = Width();
  input.height = Height();
  input.stride = stride_;
  input.bits_per_pixel = BitsPerPixel();
  input.quality = quality_;
  input.x_density = static_cast<std::uint16_t>(std::clamp(x_dpi_, 1, 65535));
  input.y_density = static_cast<std::uint16_t>(std::clamp(y_dpi_, 1, 65535));

  CJpegFileDestination destination(file);
  JpegErrorManager errors;
  errors.error_text = last_error_;
  errors.error_text_size = sizeof(last_error_);
  jpeg_compress_struct compressor{};
  compressor.err = jpeg_std_error(&errors.standard);
  errors.standard.error_exit = ExitWithMessage;
  const bool written = GuardedCompress(errors, compressor, destination.Manager(), input);
  jpeg_destroy_compress(&compressor);
  return written;
}

}  // namespace lumivanta
