#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumivanta::server {

struct RequestRecord {
  std::string_view client;
  // "-" when the request could not be read far enough to know them.
  std::string_view method = "-";
  std::string_view target = "-";
  unsigned status = 0;
  std::uint64_t bytes_received = 0;
  std::uint64_t bytes_sent = 0;
  std::chrono::steady_clock::duration duration{};
};

// The target as logged, without keys: each path segment that follows "/u/"
// or "/v/" in either case, or that holds 16 key characters in a row once
// percent-decoded, is replaced by "*", wherever it stands.
std::string TargetWithoutKeys(std::string_view target);

// One line on standard error: UTC time, client, method, target without keys,
// status, body bytes in and out, duration.
std::string FormatRequestLine(const RequestRecord& record, std::chrono::system_clock::time_point now);

void LogRequest(const RequestRecord& record);

}  // namespace lumivanta::server
