#include "server/http/RequestLog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "server/access/AccessKeys.h"
#include "server/http/RequestTarget.h"

namespace lumivanta::server {

namespace {

bool IsKeyCharacter(char character) {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
         (character >= '0' && character <= '9') || character == '_' || character == '-';
}

// A segment that holds a key, or something that a client may have meant as
// one: once percent-decoded, a run of as many key characters as the shortest key.
bool MayHoldKey(std::string_view segment) {
  const std::string decoded = ParseRequestTarget(segment).path;
  std::size_t run = 0;
  for (const char character : decoded) {
    run = IsKeyCharacter(character) ? run + 1 : 0;
    if (run >= kMinKeyLength) {
      return true;
    }
  }
  return false;
}

bool IsKeyPrefix(std::string_view segment) {
  return segment.size() == 1 && (std::tolower(static_cast<unsigned char>(segment[0])) == 'u' ||
                                 std::tolower(static_cast<unsigned char>(segment[0])) == 'v');
}

}  // namespace

std::string TargetWithoutKeys(std::string_view target) {
  const std::size_t query = std::min(target.find('?'), target.size());
  std::string result;
  bool after_key_prefix = false;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(target.find('/', start), query);
    const std::string_view segment = target.substr(start, end - start);
    // The segment after "/u/" or "/v/", in either case, is a key however short; so is anything shaped like one.
    const bool hidden = after_key_prefix || MayHoldKey(segment);
    result.append(hidden ? "*" : segment);
    after_key_prefix = IsKeyPrefix(segment);
    if (end == query) {
      break;
    }
    result += '/';
    start = end + 1;
  }
  return result.append(target.substr(query));
}

std::string FormatRequestLine(const RequestRecord& record, std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc = {};
  ::gmtime_r(&seconds, &utc);
  const double duration_ms = std::chrono::duration<double, std::milli>(record.duration).count();
  // Formatted with the C library rather than a string stream: a line is written for every upload.
  std::array<char, 40> time_text{};
  std::size_t time_length = std::strftime(time_text.data(), time_text.size(), "%Y-%m-%dT%H:%M:%S", &utc);
  time_length += static_cast<std::size_t>(std::snprintf(time_text.data() + time_length, time_text.size() - time_length,
                                                        ".%03dZ ", static_cast<int>(milliseconds)));
  std::array<char, 96> figures{};
  const int figures_length = std::snprintf(figures.data(), figures.size(), " %u in %llu out %llu %.1f ms",
                                           record.status, static_cast<unsigned long long>(record.bytes_received),
                                           static_cast<unsigned long long>(record.bytes_sent), duration_ms);
  std::string line(time_text.data(), time_length);
  line.append(record.client).append(1, ' ').append(record.method).append(1, ' ');
  line.append(TargetWithoutKeys(record.target));
  line.append(figures.data(), std::min(static_cast<std::size_t>(std::max(figures_length, 0)), figures.size() - 1));
  return line;
}

void LogRequest(const RequestRecord& record) {
  std::cerr << FormatRequestLine(record, std::chrono::system_clock::now()) + '\n' << std::flush;
}

}  // namespace lumivanta::server
