#include "server/RequestLog.h"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace lumivanta::server {

namespace {

// Where the next "/u/" or "/v/" starts, or npos.
std::size_t FindKeyPrefix(std::string_view target, std::size_t from) {
  return std::min(target.find("/u/", from), target.find("/v/", from));
}

}  // namespace

std::string TargetWithoutKeys(std::string_view target) {
  constexpr std::size_t kKeyPrefixLength = 3;
  std::string result;
  std::size_t position = 0;
  for (std::size_t found = FindKeyPrefix(target, 0); found != std::string_view::npos;
       found = FindKeyPrefix(target, position)) {
    const std::size_t key_start = found + kKeyPrefixLength;
    const std::size_t key_end = std::min(target.find_first_of("/?", key_start), target.size());
    result.append(target.substr(position, key_start - position)).append("*");
    position = key_end;
    if (position == target.size() || target[position] == '?') {
      break;
    }
  }
  return result.append(target.substr(position));
}

std::string FormatRequestLine(const RequestRecord& record, std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc = {};
  ::gmtime_r(&seconds, &utc);
  const double duration_ms = std::chrono::duration<double, std::milli>(record.duration).count();
  std::ostringstream line;
  line << std::put_time(&utc, "%Y-%m-%dT%H:%M:%S") << '.' << std::setfill('0') << std::setw(3) << milliseconds << "Z "
       << record.client << ' ' << record.method << ' ' << TargetWithoutKeys(record.target) << ' ' << record.status
       << " in " << record.bytes_received << " out " << record.bytes_sent << ' ' << std::fixed << std::setprecision(1)
       << duration_ms << " ms";
  return line.str();
}

void LogRequest(const RequestRecord& record) {
  std::cerr << FormatRequestLine(record, std::chrono::system_clock::now()) + '\n' << std::flush;
}

}  // namespace lumivanta::server
