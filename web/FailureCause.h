#pragma once

// The short text the activity log shows for a failed exchange: what went
// wrong, in words, and with which server.

#include <chrono>
#include <string>
#include <string_view>

namespace lumivanta {

// What is known about one exchange once it is over.
struct ExchangeOutcome {
  int curl_code = 0;                     // the CURLcode that ended it, 0 when the transfer succeeded
  long os_errno = 0;                     // the errno behind a connect, send or receive failure, 0 if unknown
  std::string_view curl_text;            // libcurl's detailed error text, may be empty
  long status = 0;                       // the HTTP status of the response, 0 when none came
  bool body_empty = false;               // the response had no body
  std::chrono::milliseconds elapsed{0};  // how long the exchange ran
  std::chrono::milliseconds limit{0};    // the bound of the whole exchange
  std::string_view host;
  int port = 0;
  std::string_view location;  // the Location header of the response, empty without one
};

// For example "connection refused (127.0.0.1:8080)", "unknown host (myhost)",
// "HTTP status 503 (127.0.0.1:8080)" or "HTTP status 302 (127.0.0.1:8080),
// redirected to https://…": a redirect is not followed, so whatever was sent
// reached no server. Empty when the transfer succeeded with a status of 2xx
// and a body came. Control characters are shown as "?", and the upload key of
// a redirect's address as "*".
std::string DescribeFailure(const ExchangeOutcome& outcome);

}  // namespace lumivanta
