#include "web/HeaderValue.h"

#include <algorithm>
#include <cctype>

namespace lumivanta {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::string_view HeaderValue(std::string_view headers, std::string_view name) {
  std::string_view value;
  while (!headers.empty()) {
    const std::size_t end = std::min(headers.find('\n'), headers.size());
    const std::string_view line = headers.substr(0, end);
    headers.remove_prefix(std::min(end + 1, headers.size()));
    const std::size_t colon = line.find(':');
    if (line.starts_with("HTTP/")) {
      value = {};
    } else if (colon != std::string_view::npos && SameLetters(line.substr(0, colon), name)) {
      value = Trimmed(line.substr(colon + 1));
    }
  }
  return value;
}

}  // namespace lumivanta
