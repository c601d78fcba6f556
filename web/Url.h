#pragma once

#include <string>
#include <string_view>

namespace lumivanta {

struct ParsedUrl {
  std::string scheme;
  std::string host;
  int port = 0;
  // From the first "/" after the host, query included; a query straight after
  // the host gets a "/" before it. Empty when the URL ends with the host.
  std::string path;
};

// Splits a URL byte by byte, without escaping or decoding:
//   http://example.org:8080/up/index.php?x  ->  http, example.org, 8080, /up/index.php?x
//   example.org/pics                        ->  http, example.org, 80, /pics
//   https://example.org/x                   ->  https, example.org, 443, /x
//   http://example.org:8080?x               ->  http, example.org, 8080, /?x
// Only the exact scheme "https" selects port 443 by default; "HTTPS" gets 80.
ParsedUrl ParseUrl(std::string_view url);

}  // namespace lumivanta
