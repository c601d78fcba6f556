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

  // Readies the encoding of the picture, whose pixels changed in these
  // areas (x from the left, y from the top row) since the last encoding,
  // whose file is given: CxImage::EncodeJpeg's, or this encoder's, of a
  // 24-bit picture of this size, quality and density. Its coefficients are
  // read back unless they are kept. False, and nothing kept, when the areas
  // cover so much that a whole encoding is cheaper, or the file cannot be
  // read: the caller then encodes the whole picture.
  bool Prepare(const CxImage& picture, std::span<const PixelRect> changed, std::span<const std::uint8_t> last_file);
  // Transforms the changed areas again and writes the whole file. False,
  // with nothing kept and perhaps part of a file written, when it was not
  // readied for this picture or the library fails.
  bool Encode(const CxImage& picture, CPictureFile* file);
  void Forget();

 private:
  // Whether the coefficients of the picture's last encoding are kept.
  bool Holds(const CxImage& picture) const;
  bool Load(std::span<const std::uint8_t> jpeg, const CxImage& picture);

  std::unique_ptr<PartialJpegCodec> codec_;
};

}  // namespace lumivanta
