#pragma once

#include <string_view>

namespace lumivanta::server {

enum class MultipartResult { kFound, kMalformed, kNoSuchPart };

struct MultipartPart {
  MultipartResult result = MultipartResult::kMalformed;
  // The part's bytes, a view into the body, when found.
  std::string_view bytes;
};

// Finds the part named part_name in a multipart/form-data body, so that a
// large picture is kept where it was received rather than copied out.
MultipartPart FindPart(std::string_view body, std::string_view content_type, std::string_view part_name);

}  // namespace lumivanta::server
