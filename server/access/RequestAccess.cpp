#include "server/access/RequestAccess.h"

#include <algorithm>
#include <optional>

namespace lumivanta::server {

namespace {

constexpr std::string_view kUploadPrefix = "/u/";
constexpr std::string_view kViewPrefix = "/v/";

struct KeyInPath {
  std::string_view key;
  std::string_view rest;
};

// The segment after the prefix, and everything after that segment.
std::optional<KeyInPath> SplitKey(std::string_view target, std::string_view prefix) {
  if (!target.starts_with(prefix)) {
    return std::nullopt;
  }
  target.remove_prefix(prefix.size());
  const std::size_t key_end = std::min(target.find_first_of("/?"), target.size());
  return KeyInPath{target.substr(0, key_end), target.substr(key_end)};
}

}  // namespace

RequestAccess CheckAccess(std::string_view target, const AccessKeys& keys) {
  const bool public_uploads = !keys.upload_key;
  const bool public_viewing = !keys.view_key;
  if (const std::optional<KeyInPath> upload = SplitKey(target, kUploadPrefix); upload) {
    if (public_uploads) {
      return {.may_upload = true, .may_view = public_viewing, .routed_target = upload->rest};
    }
    const bool right = SameKey(upload->key, *keys.upload_key);
    return {.may_upload = right, .may_view = right, .routed_target = upload->rest};
  }
  if (const std::optional<KeyInPath> view = SplitKey(target, kViewPrefix); view && !public_viewing) {
    const bool right = SameKey(view->key, *keys.view_key);
    return {.may_upload = right && public_uploads, .may_view = right, .routed_target = view->rest};
  }
  return {.may_upload = public_uploads, .may_view = public_viewing, .routed_target = target};
}

}  // namespace lumivanta::server
