#include "server/access/AccessKeys.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace lumivanta::server {

namespace {

constexpr std::size_t kRandomKeyBytes = 32;
constexpr std::string_view kBase64UrlAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool IsKeyCharacter(char character) {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
         (character >= '0' && character <= '9') || character == '_' || character == '-';
}

std::string Base64UrlWithoutPadding(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (std::size_t index = 0; index < count; ++index) {
    bits = (bits << 8) | bytes[index];
    bit_count += 8;
    while (bit_count >= 6) {
      bit_count -= 6;
      text += kBase64UrlAlphabet[(bits >> bit_count) & 0x3f];
    }
  }
  if (bit_count > 0) {
    text += kBase64UrlAlphabet[(bits << (6 - bit_count)) & 0x3f];
  }
  return text;
}

}  // namespace

bool IsWellFormedKey(std::string_view key) {
  return key.size() >= kMinKeyLength && key.size() <= kMaxKeyLength && std::ranges::all_of(key, IsKeyCharacter);
}

bool SameKey(std::string_view given, std::string_view expected) {
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t index = 0; index < expected.size(); ++index) {
    const unsigned char sent = index < given.size() ? static_cast<unsigned char>(given[index]) : 0;
    difference |= sent ^ static_cast<unsigned char>(expected[index]);
  }
  return difference == 0;
}

std::string NewRandomKey() {
  std::array<std::uint8_t, kRandomKeyBytes> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw std::system_error(errno, std::generic_category(), "getrandom");
    }
    filled += static_cast<std::size_t>(got);
  }
  return Base64UrlWithoutPadding(bytes.data(), bytes.size());
}

}  // namespace lumivanta::server
