#pragma once

#include <string>
#include <string_view>

namespace lumivanta::server {

// 32 hex digits naming a picture by its bytes (XXH3, 128 bits): equal bytes
// give equal digests wherever and whenever they are stored, so the digest
// makes a strong ETag that no restart or reused name can make ambiguous, and
// lets a shared store tell a repeated upload without comparing the bytes.
std::string PictureDigest(std::string_view bytes);

}  // namespace lumivanta::server
