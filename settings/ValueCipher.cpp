#include "settings/ValueCipher.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "settings/AesCipher.h"
#include "settings/SecureWipe.h"
#include "settings/TextRules.h"

namespace lumivanta {
namespace {

// The rotations between the six passes, in bytes.
constexpr std::array<std::size_t, 5> kRotations{8, 16, 24, 32, 40};
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Value of an upper-case hex digit, or -1 for anything else (lower case included).
int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// A pair whose first character is no digit gives 0; a valid first digit
// followed by an invalid second one gives the first digit's value alone.
std::uint8_t ReadHexPair(char high, char low) {
  const int high_value = HexDigitValue(high);
  if (high_value < 0) {
    return 0;
  }
  const int low_value = HexDigitValue(low);
  if (low_value < 0) {
    return static_cast<std::uint8_t>(high_value);
  }
  return static_cast<std::uint8_t>(high_value * 16 + low_value);
}

// A buffer that is wiped when it goes out of scope.
class WipedBytes {
 public:
  explicit WipedBytes(std::size_t size) : bytes_(size, 0) {}
  WipedBytes(const WipedBytes&) = delete;
  WipedBytes& operator=(const WipedBytes&) = delete;
  ~WipedBytes() { SecureWipe(bytes_.data(), bytes_.size()); }
  std::uint8_t* data() { return bytes_.data(); }
  std::uint8_t& operator[](std::size_t index) { return bytes_[index]; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::string EncipherWithKey(std::string_view line, std::string_view key) {
  if (line.empty()) {
    return {};
  }
  constexpr std::size_t n = kPlainLineLength;
  WipedBytes plain(n + 1);
  std::fill(plain.data(), plain.data() + n, static_cast<std::uint8_t>(' '));
  std::copy_n(line.data(), std::min(line.size(), n), plain.data());

  CAesCipher cipher;
  cipher.MakeKey(key);
  WipedBytes data(n + 1);
  cipher.Encrypt(plain.data(), data.data(), n);
  WipedBytes rotated(n + 1);
  for (const std::size_t k : kRotations) {
    for (std::size_t i = 0; i < n; ++i) {
      rotated[i] = data[(i + k) % n];
    }
    cipher.Encrypt(rotated.data(), data.data(), n);
  }

  std::string hex(kStoredLineLength, '0');
  for (std::size_t i = 0; i < n; ++i) {
    hex[2 * i] = kHexDigits[data[i] >> 4];
    hex[2 * i + 1] = kHexDigits[data[i] & 0x0f];
  }
  return hex;
}

std::string DecipherWithKey(std::string_view stored, std::string_view key) {
  if (stored.size() < kStoredLineLength) {
    return std::string(stored);
  }
  const std::size_t n = stored.size() / 2;
  WipedBytes data(n + 1);
  for (std::size_t i = 0; i < n; ++i) {
    data[i] = ReadHexPair(stored[2 * i], stored[2 * i + 1]);
  }

  CAesCipher cipher;
  cipher.MakeKey(key);
  WipedBytes plain(n + 1);
  cipher.Decrypt(data.data(), plain.data(), n);
  for (const std::size_t k : kRotations) {
    for (std::size_t i = 0; i < n; ++i) {
      data[i] = plain[(i + n - k % n) % n];
    }
    cipher.Decrypt(data.data(), plain.data(), n);
  }

  const auto* text = reinterpret_cast<const char*>(plain.data());
  const std::size_t length = std::find(plain.data(), plain.data() + n, 0) - plain.data();
  return std::string(TrimWhiteSpace(std::string_view(text, length)));
}

}  // namespace lumivanta
