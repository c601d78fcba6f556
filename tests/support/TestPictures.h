#pragma once

// The two small JPEG files in data/, and bytes that must pass through unchanged.

#include <string>

#include "tests/support/TempDir.h"

namespace lumivanta::test {

inline std::string FirstJpeg() { return ReadWholeFile(std::string(LUMIVANTA_SERVER_TEST_DATA) + "/first.jpg"); }
inline std::string SecondJpeg() { return ReadWholeFile(std::string(LUMIVANTA_SERVER_TEST_DATA) + "/second.jpg"); }

// NUL, CR, LF and pieces of the upload's delimiter, but never the whole delimiter line.
inline std::string TrickyBytes() {
  static constexpr char kStart[] =
      "\xff\xd8\x00\x00\r\n\r\n--\r\n----MULTI-PARTS\r\n--MULTI-PARTS-FORM-DATA-BOUNDAR\n\r";
  std::string bytes(kStart, sizeof(kStart) - 1);
  for (int value = 0; value < 256; ++value) {
    bytes += static_cast<char>(value);
  }
  return bytes + "\r\n";
}

}  // namespace lumivanta::test
