#include "web/Url.h"

namespace lumivanta {
namespace {
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;
}  // namespace

ParsedUrl ParseUrl(std::string_view url) {
  ParsedUrl parsed;
  parsed.scheme = "http";
  std::size_t host_start = 0;
  const std::size_t colon = url.find(':');
  if (colon != std::string_view::npos && colon + 1 < url.size() && url[colon + 1] == '/') {
    parsed.scheme = std::string(url.substr(0, colon));
    host_start = std::min(colon + 3, url.size());
  }

  // The path starts at the first "/" after the host; a query straight after
  // the host (host?x or host:port?x) starts it too, as if "/" stood before it.
  std::size_t path_start = url.find_first_of("/?", host_start);
  if (path_start == std::string_view::npos) {
    path_start = url.size();
  }

  const std::size_t port_colon = url.find(':', host_start);
  std::size_t host_end = path_start;
  if (port_colon != std::string_view::npos && port_colon < path_start) {
    host_end = port_colon;
    int port = 0;
    for (std::size_t i = port_colon + 1; i < url.size() && url[i] >= '0' && url[i] <= '9'; ++i) {
      port = port < 100'000 ? port * 10 + (url[i] - '0') : port;
    }
    parsed.port = port;
  } else {
    parsed.port = parsed.scheme == "https" ? kHttpsPort : kHttpPort;
  }

  parsed.host = std::string(url.substr(host_start, host_end - host_start));
  parsed.path = std::string(url.substr(path_start));
  if (parsed.path.starts_with('?')) {
    parsed.path.insert(0, 1, '/');
  }
  return parsed;
}

}  // namespace lumivanta
