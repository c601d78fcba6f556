#include "settings/AesCipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumivanta {
namespace {

using Block = std::array<std::uint8_t, 16>;

Block FromHex(std::string_view hex) {
  Block block{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(2 * i, 2)), nullptr, 16));
  }
  return block;
}

std::string_view AsKey(const Block& key) { return {reinterpret_cast<const char*>(key.data()), key.size()}; }

// OpenSSL's AES-128 in ECB mode, as the independent reference.
Block OpenSslBlock(const Block& key, const Block& in, bool encipher) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  EXPECT_EQ(EVP_CipherInit_ex(context.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr, encipher ? 1 : 0), 1);
  EVP_CIPHER_CTX_set_padding(context.get(), 0);
  Block out{};
  int length = 0;
  EXPECT_EQ(EVP_CipherUpdate(context.get(), out.data(), &length, in.data(), static_cast<int>(in.size())), 1);
  EXPECT_EQ(length, 16);
  return out;
}

std::string RaisedText(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing raised)";
}

TEST(AesCipher, StandardExampleVectors) {
  struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Vector vectors[] = {
      // The cipher example and the AES-128 example vector of FIPS-197.
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
  };
  for (const Vector& v : vectors) {
    CAesCipher cipher;
    cipher.MakeKey(AsKey(FromHex(v.key)));
    const Block plain = FromHex(v.plain);
    Block out{};
    cipher.EncryptBlock(plain.data(), out.data());
    EXPECT_EQ(out, FromHex(v.cipher)) << v.key;
    Block back{};
    cipher.DecryptBlock(out.data(), back.data());
    EXPECT_EQ(back, plain) << v.key;
  }
}

TEST(AesCipher, AgreesWithOpenSslOnRandomKeysAndBlocks) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> byte(0, 255);
  auto random_block = [&] {
    Block block{};
    for (auto& b : block) {
      b = static_cast<std::uint8_t>(byte(random));
    }
    return block;
  };
  for (int round = 0; round < 2000; ++round) {
    const Block key = random_block();
    const Block data = random_block();
    CAesCipher cipher;
    cipher.MakeKey(AsKey(key));
    Block out{};
    cipher.EncryptBlock(data.data(), out.data());
    ASSERT_EQ(out, OpenSslBlock(key, data, true)) << "round " << round;
    cipher.DecryptBlock(data.data(), out.data());
    ASSERT_EQ(out, OpenSslBlock(key, data, false)) << "round " << round;
  }
}

TEST(AesCipher, EncryptWorksBlockByBlockInPlaceAndEndsWithNul) {
  CAesCipher cipher;
  cipher.MakeKey("KRT3(#mx58qd7.Jz");
  std::vector<std::uint8_t> data(48);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(i % 16);  // three equal blocks
  }
  std::vector<std::uint8_t> out(49, 0xAA);
  cipher.Encrypt(data.data(), out.data(), 48);
  EXPECT_EQ(out[48], 0);
  // Electronic codebook: equal blocks give equal cipher blocks.
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, out.begin() + 16));
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, out.begin() + 32));

  std::vector<std::uint8_t> in_place(data);
  in_place.push_back(0xAA);
  cipher.Encrypt(in_place.data(), in_place.data(), 48);
  EXPECT_EQ(in_place, out);

  std::vector<std::uint8_t> back(49, 0xAA);
  cipher.Decrypt(out.data(), back.data(), 48);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(back[48], 0);
}

TEST(AesCipher, DecryptLeavesAnIncompleteLastBlockAlone) {
  CAesCipher cipher;
  cipher.MakeKey("KRT3(#mx58qd7.Jz");
  std::vector<std::uint8_t> in(20, 0x11);
  std::vector<std::uint8_t> out(21, 0xAA);
  cipher.Decrypt(in.data(), out.data(), 20);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 16, out.begin() + 20), std::vector<std::uint8_t>(4, 0xAA));
  EXPECT_EQ(out[20], 0);
}

TEST(AesCipher, MisuseRaisesTheThreeErrorTexts) {
  CAesCipher cipher;
  std::array<std::uint8_t, 33> buffer{};
  EXPECT_EQ(RaisedText([&] { cipher.EncryptBlock(buffer.data(), buffer.data()); }), "Object not Initialized");
  EXPECT_EQ(RaisedText([&] { cipher.DecryptBlock(buffer.data(), buffer.data()); }), "Object not Initialized");
  EXPECT_EQ(RaisedText([&] { cipher.Encrypt(buffer.data(), buffer.data(), 16); }), "Object not Initialized");
  EXPECT_EQ(RaisedText([&] { cipher.Decrypt(buffer.data(), buffer.data(), 16); }), "Object not Initialized");
  EXPECT_EQ(RaisedText([&] { cipher.MakeKey(""); }), "Empty key");
  EXPECT_EQ(RaisedText([&] { cipher.MakeKey(std::string_view{}); }), "Empty key");

  cipher.MakeKey("KRT3(#mx58qd7.Jz");
  EXPECT_EQ(cipher.KeyLength(), 16);
  EXPECT_EQ(cipher.BlockSize(), 16);
  EXPECT_EQ(RaisedText([&] { cipher.Encrypt(buffer.data(), buffer.data(), 0); }), "Data not multiple of Block Size");
  EXPECT_EQ(RaisedText([&] { cipher.Encrypt(buffer.data(), buffer.data(), 20); }), "Data not multiple of Block Size");
  EXPECT_EQ(RaisedText([&] { cipher.Encrypt(buffer.data(), buffer.data(), 32); }), "(nothing raised)");
}

TEST(AesCipher, ShortKeyIsFilledWithZeroBytesAndANewKeyReplacesTheOld) {
  Block zero_padded{};
  zero_padded[0] = 'k';
  CAesCipher short_key;
  short_key.MakeKey("k");
  CAesCipher full_key;
  full_key.MakeKey(AsKey(zero_padded));
  const Block data = FromHex("00112233445566778899aabbccddeeff");
  Block a{};
  Block b{};
  short_key.EncryptBlock(data.data(), a.data());
  full_key.EncryptBlock(data.data(), b.data());
  EXPECT_EQ(a, b);

  short_key.MakeKey(AsKey(FromHex("000102030405060708090a0b0c0d0e0f")));
  short_key.EncryptBlock(data.data(), a.data());
  EXPECT_EQ(a, FromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

}  // namespace
}  // namespace lumivanta
