#include "server/RequestLog.h"

#include <ctime>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace lumivanta::server {

std::string TargetWithoutKeys(std::string_view target) {
  constexpr std::string_view kKeyPrefix = "/u/";
  std::string result;
  std::size_t position = 0;
  for (std::size_t found = target.find(kKeyPrefix); found != std::string_view::npos;
       found = target.find(kKeyPrefix, position)) {
    const std::size_t key_start = found + kKeyPrefix.size();
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
