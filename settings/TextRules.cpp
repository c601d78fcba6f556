#include "settings/TextRules.h"

namespace lumivanta {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view TrimWhiteSpace(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.back())) {
    text.remove_suffix(1);
  }
  while (!text.empty() && IsWhiteSpace(text.front())) {
    text.remove_prefix(1);
  }
  return text;
}

std::uint32_t LeadingInteger(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size() && IsWhiteSpace(text[position])) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  std::uint32_t value = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
    value = value * 10U + static_cast<std::uint32_t>(text[position] - '0');
  }
  return negative ? 0U - value : value;
}

}  // namespace lumivanta
