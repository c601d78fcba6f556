// Feeds arbitrary server URLs, as a user may type them, through the URL
// splitter and checks that its parts come from the URL and fit together.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/Url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(data), size);
  const lumivanta::ParsedUrl parsed = lumivanta::ParseUrl(url);

  // The path is empty or starts with "/"; the host holds neither "/" nor "?".
  if (!parsed.path.empty() && parsed.path.front() != '/') {
    std::abort();
  }
  if (parsed.host.find_first_of("/?") != std::string_view::npos) {
    std::abort();
  }
  // Host and path are pieces of the URL in their order (the path may have got
  // a "/" before a query that followed the host directly).
  const std::size_t host_at = url.find(parsed.host);
  std::string_view path = parsed.path;
  if (path.starts_with("/?") && !url.ends_with(path)) {
    path.remove_prefix(1);
  }
  if (host_at == std::string_view::npos || !url.ends_with(path) ||
      host_at + parsed.host.size() > url.size() - path.size()) {
    std::abort();
  }
  if (parsed.port < 0 || parsed.port >= 1'000'000) {
    std::abort();
  }
  return 0;
}
