#include "pictures/ScreenEncoder.h"

#include "pictures/MemoryFile.h"

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

}  // namespace lumivanta
