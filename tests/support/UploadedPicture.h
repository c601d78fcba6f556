#pragma once

// The JPEG file inside a recorded multipart upload.

#include <string>
#include <string_view>

namespace lumivanta::test {

// The content of the part named "thescreen" with the file name "image.jpg",
// or empty when the request has no such part.
inline std::string UploadedPicture(std::string_view request) {
  const std::size_t part = request.find("name=\"thescreen\"; filename=\"image.jpg\"\r\n");
  if (part == std::string_view::npos) {
    return {};
  }
  const std::size_t start = request.find("\r\n\r\n", part);
  const std::size_t end = request.rfind("\r\n--");
  if (start == std::string_view::npos || end == std::string_view::npos || end < start + 4) {
    return {};
  }
  return std::string(request.substr(start + 4, end - start - 4));
}

}  // namespace lumivanta::test
