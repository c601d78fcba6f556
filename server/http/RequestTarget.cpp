#include "server/http/RequestTarget.h"

#include <algorithm>
#include <charconv>

namespace lumivanta::server {

namespace {

std::string Decode(std::string_view text, bool plus_is_space) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char character = text[index];
    unsigned value = 0;
    if (character == '%' && index + 2 < text.size()) {
      const char* digits = text.data() + index + 1;
      const auto [end, error] = std::from_chars(digits, digits + 2, value, 16);
      if (error == std::errc() && end == digits + 2) {
        decoded += static_cast<char>(value);
        index += 2;
        continue;
      }
    }
    decoded += plus_is_space && character == '+' ? ' ' : character;
  }
  return decoded;
}

// The name's first parameter, or the list's end.
auto FindFirst(const std::vector<std::pair<std::string, std::string>>& parameters, std::string_view name) {
  return std::ranges::find_if(parameters, [name](const auto& parameter) { return parameter.first == name; });
}

}  // namespace

bool RequestTarget::Has(std::string_view name) const { return FindFirst(parameters, name) != parameters.end(); }

std::optional<std::string> RequestTarget::Value(std::string_view name) const {
  const auto found = FindFirst(parameters, name);
  if (found == parameters.end()) {
    return std::nullopt;
  }
  return found->second;
}

RequestTarget ParseRequestTarget(std::string_view target) {
  RequestTarget result;
  const std::size_t question = target.find('?');
  result.path = Decode(target.substr(0, question), false);
  if (question == std::string_view::npos) {
    return result;
  }
  std::string_view query = target.substr(question + 1);
  while (!query.empty()) {
    const std::size_t ampersand = query.find('&');
    const std::string_view pair = query.substr(0, ampersand);
    query.remove_prefix(ampersand == std::string_view::npos ? query.size() : ampersand + 1);
    if (pair.empty()) {
      continue;
    }
    const std::size_t equals = pair.find('=');
    // Kept in order, repeats too: a lookup finds a name's first value, and the parse stays linear.
    result.parameters.emplace_back(Decode(pair.substr(0, equals), true), equals == std::string_view::npos
                                                                             ? std::string()
                                                                             : Decode(pair.substr(equals + 1), true));
  }
  return result;
}

}  // namespace lumivanta::server
