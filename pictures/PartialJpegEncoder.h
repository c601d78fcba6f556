#pragma once

// Encodes a 24-bit picture as JPEG when only some areas changed since the
// picture it encoded before: the changed areas, widened to whole blocks of
// 16 x 16 pixels, go through colour conversion, subsampling and the DCT
// again, the quantised coefficients kept from before stand elsewhere, and
// the entropy coding is done in full. The file is, byte for byte, the one
// CxImage::EncodeJpeg writes for the whole picture: the blocks of a JPEG
// file without smoothing depend only on their own pixels.

#include <cstdint>
#include <memory>
#include <span>

#include "pictures/CxImage.h"
#include "pictures/PictureFile.h"
#include "pictures/ScreenImage.h"

namespace lumivanta {

// libjpeg's objects and the kept coefficients.
struct PartialJpegCodec;

class PartialJpegEncoder {
 public:
  PartialJpegEncoder();
  PartialJpegEncoder(const PartialJpegEncoder&) = delete;
  PartialJpegEncoder& operator=(const PartialJpegEncoder&) = delete;
  ~PartialJpegEncoder();

  // Whether the coefficients of the picture's last encoding are kept, for
  // its size, quality and density.
  bool Holds(const CxImage& picture) const;
  // Keeps the coefficients of a file that CxImage::EncodeJpeg wrote for a
  // 24-bit picture like this one (its pixels before the change); false, and
  // nothing kept, when it cannot be read.
  bool Load(std::span<const std::uint8_t> jpeg, const CxImage& picture);
  // Transforms the changed areas (x from the left, y from the top row) again
  // and writes the whole file. False, with nothing kept and perhaps part of
  // a file written, when the picture does not match the kept coefficients,
  // the areas cover so much that a whole encoding is cheaper, or the library
  // fails: the caller then encodes the whole picture.
  bool Encode(const CxImage& picture, std::span<const PixelRect> changed, CPictureFile* file);
  void Forget();

 private:
  std::unique_ptr<PartialJpegCodec> codec_;
};

}  // namespace lumivanta
