#pragma once

#include <string>
#include <string_view>

namespace lumivanta::server {

enum class MultipartResult { kFound, kMalformed, kNoSuchPart };

// Finds the part named part_name in a multipart/form-data body and leaves
// only that part's bytes in body, moved in place so no second copy of a
// large picture is made. On any other result the body is left in no useful state.
MultipartResult KeepOnlyPart(std::string& body, std::string_view content_type, std::string_view part_name);

}  // namespace lumivanta::server
