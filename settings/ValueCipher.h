#pragma once

// The stored form of one configuration line: the line cut or padded with
// blanks to 96 bytes, enciphered with AES-128 six times with byte rotations
// between the passes, written as 192 upper-case hexadecimal digits.

#include <cstddef>
#include <string>
#include <string_view>

namespace lumivanta {

inline constexpr std::size_t kPlainLineLength = 96;
inline constexpr std::size_t kStoredLineLength = 2 * kPlainLineLength;

// An empty line stays empty; any other gives exactly 192 hex digits.
std::string EncipherWithKey(std::string_view line, std::string_view key);

// A text shorter than 192 characters comes back unchanged (a line written in
// clear text). A longer one is read as hex digits, deciphered, cut at its first
// NUL byte and trimmed of white space, first at its end, then at its start.
std::string DecipherWithKey(std::string_view stored, std::string_view key);

}  // namespace lumivanta
