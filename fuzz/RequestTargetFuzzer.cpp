// Feeds arbitrary request targets to lumivanta-server's key checks, its
// target parser and its request log, with no keys, an upload key, and both
// keys. The first line is the target; a second line is compared as a key.
// Checked: what is routed is the rest of the target, only the right key
// allows anything, keys compare as plain equality, and the logged target
// holds no run of key characters as long as a key.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/AccessKeys.h"
#include "server/HttpRoutes.h"
#include "server/RequestAccess.h"
#include "server/RequestLog.h"
#include "server/RequestTarget.h"

namespace {

using lumivanta::server::AccessKeys;

constexpr std::string_view kUploadKey = "fuzz-upload-key-0123";
constexpr std::string_view kViewKey = "fuzz-view-key-01234";

bool IsKeyCharacter(char character) {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
         (character >= '0' && character <= '9') || character == '_' || character == '-';
}

// True when the target starts with prefix and key, ending there or at "/" or "?".
bool StartsWithKey(std::string_view target, std::string_view prefix, std::string_view key) {
  const std::string start = std::string(prefix) + std::string(key);
  return target.starts_with(start) &&
         (target.size() == start.size() || target[start.size()] == '/' || target[start.size()] == '?');
}

void CheckAccess(std::string_view target, const AccessKeys& keys) {
  const lumivanta::server::RequestAccess access = lumivanta::server::CheckAccess(target, keys);
  if (!target.ends_with(access.routed_target)) {
    std::abort();
  }
  const bool upload_key = keys.upload_key && StartsWithKey(target, "/u/", *keys.upload_key);
  const bool view_key = keys.view_key && StartsWithKey(target, "/v/", *keys.view_key);
  if ((keys.upload_key && access.may_upload && !upload_key) ||
      (keys.view_key && access.may_view && !upload_key && !view_key)) {
    std::abort();
  }
  lumivanta::server::KeyRefusal(target, keys);
  lumivanta::server::ChangesPictures(target, keys);
}

// Each segment of the logged path, percent-decoded, holds fewer key
// characters in a row than a key has; the query is logged as it came.
void CheckLogged(std::string_view target) {
  const std::string logged = lumivanta::server::TargetWithoutKeys(target);
  const std::size_t logged_query = logged.find('?');
  const std::size_t query = target.find('?');
  if ((logged_query == std::string::npos) != (query == std::string_view::npos) ||
      (query != std::string_view::npos && logged.substr(logged_query) != target.substr(query))) {
    std::abort();
  }
  const std::string_view path = std::string_view(logged).substr(0, logged_query);
  for (std::size_t start = 0;;) {
    const std::size_t end = path.find('/', start);
    std::size_t run = 0;
    for (const char character : lumivanta::server::ParseRequestTarget(path.substr(start, end - start)).path) {
      run = IsKeyCharacter(character) ? run + 1 : 0;
      if (run >= lumivanta::server::kMinKeyLength) {
        std::abort();
      }
    }
    if (end == std::string_view::npos) {
      return;
    }
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string_view target = input.substr(0, line_end);

  CheckAccess(target, {});
  CheckAccess(target, {.upload_key = std::string(kUploadKey), .view_key = std::nullopt});
  CheckAccess(target, {.upload_key = std::string(kUploadKey), .view_key = std::string(kViewKey)});
  CheckLogged(target);

  if (line_end != std::string_view::npos) {
    const std::string_view given = input.substr(line_end + 1);
    if (lumivanta::server::SameKey(given, kUploadKey) != (given == kUploadKey) ||
        lumivanta::server::SameKey(given, target) != (given == target)) {
      std::abort();
    }
    lumivanta::server::IsWellFormedKey(given);
  }
  return 0;
}
