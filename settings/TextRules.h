#pragma once

// Small text rules shared by the configuration file and its cipher.

#include <cstdint>
#include <string_view>

namespace lumivanta {

// Space, tab, CR, LF, vertical tab and form feed.
bool IsWhiteSpace(char c);

std::string_view TrimWhiteSpace(std::string_view text);

// The leading decimal integer as the C library's atoi reads it: white space
// skipped, an optional sign, digits up to the first non-digit, 0 without
// digits. The digits wrap modulo 2^32 instead of overflowing.
std::uint32_t LeadingInteger(std::string_view text);

}  // namespace lumivanta
