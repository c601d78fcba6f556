#include "server/http/RequestLog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
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

// Appends number in decimal, with leading zeros to at least digits digits.
void AppendNumber(std::string& text, std::uint64_t number, std::size_t digits = 1) {
  std::array<char, 24> buffer{};
  const char* const end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number).ptr;
  const auto length = static_cast<std::size_t>(end - buffer.data());
  if (length < digits) {
    text.append(digits - length, '0');
  }
  text.append(buffer.data(), length);
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
  // Written piece by piece rather than through a string stream or printf: a line goes out for every upload.
  std::array<char, 32> time_text{};
  std::string line(time_text.data(), std::strftime(time_text.data(), time_text.size(), "%Y-%m-%dT%H:%M:%S", &utc));
  line += '.';
  AppendNumber(line, static_cast<std::uint64_t>(milliseconds), 3);
  line.append("Z ").append(record.client).append(1, ' ').append(record.method).append(1, ' ');
  line.append(TargetWithoutKeys(record.target)).append(1, ' ');
  AppendNumber(line, record.status);
  line.append(" in ");
  AppendNumber(line, record.bytes_received);
  line.append(" out ");
  AppendNumber(line, record.bytes_sent);
  // The duration in milliseconds to a tenth, rounded.
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(record.duration).count();
  const auto tenths = static_cast<std::uint64_t>(std::max<std::int64_t>(nanoseconds, 0) + 50'000) / 100'000;
  line += ' ';
  AppendNumber(line, tenths / 10);
  line += '.';
  AppendNumber(line, tenths % 10);
  return line.append(" ms");
}

void LogRequest(const RequestRecord& record) {
  std::cerr << FormatRequestLine(record, std::chrono::system_clock::now()) + '\n' << std::flush;
}

}  // namespace lumivanta::server
