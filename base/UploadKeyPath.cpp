#include "base/UploadKeyPath.h"

#include <algorithm>

namespace lumivanta {

std::optional<UploadKeyPath> FindUploadKeyPath(std::string_view url) {
  const std::size_t scheme_end = url.find("://");
  const std::size_t authority = scheme_end == std::string_view::npos ? 0 : scheme_end + 3;
  const std::size_t path_start = url.find('/', authority);
  const std::size_t path_end = std::min(url.find_first_of("?#", authority), url.size());
  if (path_start == std::string_view::npos || path_start >= path_end) {
    return std::nullopt;
  }
  const std::string_view path = url.substr(0, path_end);
  for (std::size_t segment = path_start + 1; segment < path.size();) {
    const std::size_t segment_end = std::min(path.find('/', segment), path.size());
    if (path.substr(segment, segment_end - segment) == "u" && segment_end < path.size()) {
      const std::size_t key_start = segment_end + 1;
      const std::size_t key_end = std::min(path.find('/', key_start), path.size());
      if (key_end > key_start) {
        const std::size_t end = key_end < path.size() ? key_end + 1 : key_end;
        return UploadKeyPath{segment, end - segment, key_start, key_end - key_start};
      }
    }
    segment = segment_end + 1;
  }
  return std::nullopt;
}

std::string MaskUploadKey(std::string_view url) {
  const std::optional<UploadKeyPath> found = FindUploadKeyPath(url);
  if (!found) {
    return std::string(url);
  }
  std::string masked(url.substr(0, found->key_start));
  masked += '*';
  masked += url.substr(found->key_start + found->key_length);
  return masked;
}

}  // namespace lumivanta
