#pragma once

// The upload key of lumivanta-server in a server URL: the path segment "u"
// and the key's segment after it, as in http://host:8080/u/KEY/ or, behind a
// proxy, https://host/prefix/u/KEY/. Whoever holds that URL may upload and
// delete, so it is kept out of what is shown to others.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumivanta {

struct UploadKeyPath {
  // "u/KEY" and the "/" after it when there is one: where it starts (just
  // after a "/") and how long it is.
  std::size_t start = 0;
  std::size_t length = 0;
  // KEY alone.
  std::size_t key_start = 0;
  std::size_t key_length = 0;
};

// The first "u/KEY" segment pair of the URL's path (not its host, query or
// fragment), with a KEY that is not empty; nothing when there is none.
std::optional<UploadKeyPath> FindUploadKeyPath(std::string_view url);

// The URL with the key of its upload-key segment replaced by "*".
std::string MaskUploadKey(std::string_view url);

}  // namespace lumivanta
