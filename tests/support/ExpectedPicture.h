#pragma once

// A screen as the program publishes it by default: downscaled to 600 pixels
// high and encoded at quality 60, then decoded again for comparison.

#include "pictures/CxImage.h"
#include "pictures/ScreenEncoder.h"
#include "tests/support/PictureTestSupport.h"

namespace lumivanta::test {

inline DecodedJpeg ExpectedPicture(const OwnedScreen& screen) {
  CxImage expected;
  const ScreenImage view = screen.AsGrabbed();
  expected.CreateFromBitmap(&view);
  const EncodedPicture encoded = ConvertScaleEncode(expected, 600, 1);
  return DecodeJpeg(encoded.bytes.get(), encoded.byte_count);
}

}  // namespace lumivanta::test
