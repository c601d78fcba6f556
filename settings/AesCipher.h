#pragma once

// AES-128 (FIPS-197) in electronic codebook mode: every 16-byte block is
// enciphered on its own, with no chaining and no initialisation vector.
// Misuse raises std::runtime_error with one of three texts:
// "Empty key", "Object not Initialized", "Data not multiple of Block Size".

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lumivanta {

class CAesCipher {
 public:
  static constexpr int kBlockSize = 16;
  static constexpr int kKeyLength = 16;
  static constexpr int kRounds = 10;

  CAesCipher() = default;
  CAesCipher(const CAesCipher&) = delete;
  CAesCipher& operator=(const CAesCipher&) = delete;
  virtual ~CAesCipher();

  // Keys the cipher with the first 16 bytes of key; a shorter key is filled up
  // with zero bytes. An empty key raises "Empty key".
  void MakeKey(std::string_view key);

  void EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const;
  void DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const;

  // Enciphers length bytes (a non-zero multiple of 16) block by block and
  // writes a NUL byte at out[length]; out holds at least length + 1 bytes.
  // in and out may be the same buffer.
  void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;

  // Deciphers every whole block of the first length bytes (a remainder is left
  // alone) and writes a NUL byte at out[length]; out holds at least length + 1 bytes.
  void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;

  int KeyLength() const { return key_length_; }
  int BlockSize() const { return block_size_; }

 private:
  using RoundKeys = std::array<std::array<std::uint32_t, 4>, kRounds + 1>;

  void RequireKey() const;

  bool initialized_ = false;
  RoundKeys encrypt_keys_{};
  RoundKeys decrypt_keys_{};
  int key_length_ = 0;
  int block_size_ = 0;
};

}  // namespace lumivanta
