#include "settings/ValueCipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace lumivanta {
namespace {

constexpr std::string_view kKey = "KRT3(#mx58qd7.Jz";

// The stored form computed independently with OpenSSL: pad or cut to 96
// bytes, encipher, then five times rotate left by 8, 16, 24, 32, 40 bytes and
// encipher again, then upper-case hex.
std::string ReferenceStoredForm(std::string_view line) {
  std::vector<unsigned char> data(96, ' ');
  std::copy_n(line.begin(), std::min<std::size_t>(line.size(), 96), data.begin());
  auto encipher = [](std::vector<unsigned char>& bytes) {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    EVP_EncryptInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, reinterpret_cast<const unsigned char*>(kKey.data()),
                       nullptr);
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    std::vector<unsigned char> out(bytes.size());
    int length = 0;
    EVP_EncryptUpdate(context.get(), out.data(), &length, bytes.data(), static_cast<int>(bytes.size()));
    bytes = out;
  };
  encipher(data);
  for (int k : {8, 16, 24, 32, 40}) {
    std::rotate(data.begin(), data.begin() + k, data.end());
    encipher(data);
  }
  std::string hex;
  for (unsigned char b : data) {
    hex += "0123456789ABCDEF"[b >> 4];
    hex += "0123456789ABCDEF"[b & 15];
  }
  return hex;
}

std::string Encipher(std::string_view line) { return EncipherWithKey(line, kKey); }
std::string Decipher(std::string_view stored) { return DecipherWithKey(stored, kKey); }

TEST(ValueCipher, StoredFormAgreesWithAnIndependentReference) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(1, 120);
  std::uniform_int_distribution<int> printable(32, 126);
  for (int round = 0; round < 300; ++round) {
    std::string line(static_cast<std::size_t>(length(random)), ' ');
    for (char& c : line) {
      c = static_cast<char>(printable(random));
    }
    ASSERT_EQ(Encipher(line), ReferenceStoredForm(line)) << line;
  }
  EXPECT_EQ(Encipher("04=http://localhost:8080/"), ReferenceStoredForm("04=http://localhost:8080/"));
}

TEST(ValueCipher, RoundTripGivesTheLineCutTo96AndTrimmed) {
  EXPECT_EQ(Decipher(Encipher("05=abc")), "05=abc");
  EXPECT_EQ(Decipher(Encipher("  07=2000 \t")), "07=2000");
  const std::string long_line = "04=" + std::string(120, 'x');
  EXPECT_EQ(Decipher(Encipher(long_line)), long_line.substr(0, 96));
  // Every byte value except the white space and NUL survives.
  std::string all_bytes;
  for (int c = 33; c < 256 && all_bytes.size() < 96; c += 3) {
    all_bytes += static_cast<char>(c);
  }
  EXPECT_EQ(Decipher(Encipher(all_bytes)), all_bytes);
  // Deciphered text ends at its first NUL byte.
  EXPECT_EQ(Decipher(Encipher(std::string("ab\0cd", 5))), "ab");
}

TEST(ValueCipher, StoredFormIsAlways192UpperCaseHexDigits) {
  for (std::size_t length : {1u, 3u, 95u, 96u, 97u, 500u}) {
    const std::string stored = Encipher(std::string(length, 'q'));
    ASSERT_EQ(stored.size(), 192u) << length;
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << length;
  }
  // Fixed key, no initialisation vector: equal lines give equal stored texts.
  EXPECT_EQ(Encipher("06=1"), Encipher("06=1"));
  EXPECT_NE(Encipher("06=1"), Encipher("06=2"));
}

TEST(ValueCipher, EmptyAndShortTextsPassUnchanged) {
  EXPECT_EQ(Encipher(""), "");
  EXPECT_EQ(Decipher(""), "");
  EXPECT_EQ(Decipher("07=2000"), "07=2000");
  const std::string stored = Encipher("05=abc");
  EXPECT_EQ(Decipher(stored.substr(0, 191)), stored.substr(0, 191));
  EXPECT_EQ(Decipher("  untrimmed  "), "  untrimmed  ");
}

TEST(ValueCipher, HexReadingRules) {
  const std::string stored = Encipher("05=abc");
  std::string lower = stored;
  for (char& c : lower) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  ASSERT_NE(lower, stored);
  EXPECT_NE(Decipher(lower), "05=abc");

  // A pair with an invalid first character reads as 0; a valid first digit
  // followed by an invalid one reads as that digit alone ("3x" is 0x03).
  std::string zeros(192, '0');
  EXPECT_EQ(Decipher(std::string(192, 'x')), Decipher(zeros));
  std::string threes;
  for (int i = 0; i < 96; ++i) {
    threes += "03";
  }
  std::string three_x;
  for (int i = 0; i < 96; ++i) {
    three_x += "3x";
  }
  EXPECT_EQ(Decipher(three_x), Decipher(threes));
}

TEST(ValueCipher, LongerStoredTextsUseHalfTheirLengthAndNeverReadOutOfBounds) {
  const std::string stored = Encipher("05=abc");
  // 193 characters: the data length is still 96 and the extra character is ignored.
  EXPECT_EQ(Decipher(stored + "Z"), "05=abc");
  for (std::size_t length : {194u, 200u, 222u, 1000u, 10000u}) {
    std::string text(length, 'A');
    text.replace(0, stored.size(), stored);
    EXPECT_NO_THROW(Decipher(text)) << length;
  }
}

TEST(ValueCipher, TheEncipherFlagSwitchesTheCipherOff) {
  CSettings settings;
  EXPECT_EQ(settings.DecipherValue(settings.EncipherValue("05=abc")), "05=abc");
  EXPECT_EQ(settings.EncipherValue("05=abc").size(), 192u);
  settings.encipher = false;
  EXPECT_EQ(settings.EncipherValue("05=abc"), "05=abc");
  const std::string stored = EncipherWithKey("05=abc", settings.key_text);
  EXPECT_EQ(settings.DecipherValue(stored), stored);
}

}  // namespace
}  // namespace lumivanta
