#include "settings/AesCipher.h"

#include <stdexcept>

#include "settings/AesTables.h"
#include "settings/SecureWipe.h"

namespace lumivanta {
namespace {

using namespace aes;

std::uint32_t LoadWord(const std::uint8_t* bytes) { return Word(bytes[0], bytes[1], bytes[2], bytes[3]); }

void StoreWord(std::uint32_t word, std::uint8_t* bytes) {
  bytes[0] = static_cast<std::uint8_t>(word >> 24);
  bytes[1] = static_cast<std::uint8_t>(word >> 16);
  bytes[2] = static_cast<std::uint8_t>(word >> 8);
  bytes[3] = static_cast<std::uint8_t>(word);
}

std::uint8_t Byte(std::uint32_t word, int index) { return static_cast<std::uint8_t>(word >> (24 - 8 * index)); }

std::uint32_t SubWord(std::uint32_t word) {
  return Word(kSBox[Byte(word, 0)], kSBox[Byte(word, 1)], kSBox[Byte(word, 2)], kSBox[Byte(word, 3)]);
}

// InvMixColumns of one round-key word, through the deciphering tables.
std::uint32_t InverseMixColumn(std::uint32_t word) {
  return kTd0[kSBox[Byte(word, 0)]] ^ kTd1[kSBox[Byte(word, 1)]] ^ kTd2[kSBox[Byte(word, 2)]] ^
         kTd3[kSBox[Byte(word, 3)]];
}

}  // namespace

CAesCipher::~CAesCipher() {
  SecureWipe(encrypt_keys_.data(), sizeof(encrypt_keys_));
  SecureWipe(decrypt_keys_.data(), sizeof(decrypt_keys_));
}

void CAesCipher::MakeKey(std::string_view key) {
  if (key.data() == nullptr || key.empty()) {
    throw std::runtime_error("Empty key");
  }
  std::array<std::uint8_t, kKeyLength> key_bytes{};
  for (std::size_t i = 0; i < key_bytes.size() && i < key.size(); ++i) {
    key_bytes[i] = static_cast<std::uint8_t>(key[i]);
  }
  key_length_ = kKeyLength;
  block_size_ = kBlockSize;

  std::array<std::uint32_t, 4 * (kRounds + 1)> schedule{};
  for (int i = 0; i < 4; ++i) {
    schedule[i] = LoadWord(&key_bytes[4 * i]);
  }
  for (std::size_t i = 4; i < schedule.size(); ++i) {
    std::uint32_t temp = schedule[i - 1];
    if (i % 4 == 0) {
      temp = SubWord(RotateRight32(temp, 24)) ^ kRoundConstants[i / 4 - 1];
    }
    schedule[i] = schedule[i - 4] ^ temp;
  }
  for (int round = 0; round <= kRounds; ++round) {
    for (int column = 0; column < 4; ++column) {
      encrypt_keys_[round][column] = schedule[4 * round + column];
    }
  }
  // Equivalent inverse cipher: the schedule in reverse order, with the inner
  // round keys passed through InvMixColumns.
  for (int round = 0; round <= kRounds; ++round) {
    for (int column = 0; column < 4; ++column) {
      const std::uint32_t word = encrypt_keys_[kRounds - round][column];
      decrypt_keys_[round][column] = (round == 0 || round == kRounds) ? word : InverseMixColumn(word);
    }
  }
  SecureWipe(schedule.data(), sizeof(schedule));
  SecureWipe(key_bytes.data(), key_bytes.size());
  initialized_ = true;
}

void CAesCipher::RequireKey() const {
  if (!initialized_) {
    throw std::runtime_error("Object not Initialized");
  }
}

void CAesCipher::EncryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
  RequireKey();
  const auto& k = encrypt_keys_;
  std::uint32_t s0 = LoadWord(in) ^ k[0][0];
  std::uint32_t s1 = LoadWord(in + 4) ^ k[0][1];
  std::uint32_t s2 = LoadWord(in + 8) ^ k[0][2];
  std::uint32_t s3 = LoadWord(in + 12) ^ k[0][3];
  for (int round = 1; round < kRounds; ++round) {
    const std::uint32_t t0 =
        kTe0[Byte(s0, 0)] ^ kTe1[Byte(s1, 1)] ^ kTe2[Byte(s2, 2)] ^ kTe3[Byte(s3, 3)] ^ k[round][0];
    const std::uint32_t t1 =
        kTe0[Byte(s1, 0)] ^ kTe1[Byte(s2, 1)] ^ kTe2[Byte(s3, 2)] ^ kTe3[Byte(s0, 3)] ^ k[round][1];
    const std::uint32_t t2 =
        kTe0[Byte(s2, 0)] ^ kTe1[Byte(s3, 1)] ^ kTe2[Byte(s0, 2)] ^ kTe3[Byte(s1, 3)] ^ k[round][2];
    const std::uint32_t t3 =
        kTe0[Byte(s3, 0)] ^ kTe1[Byte(s0, 1)] ^ kTe2[Byte(s1, 2)] ^ kTe3[Byte(s2, 3)] ^ k[round][3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  const auto& last = k[kRounds];
  StoreWord(Word(kSBox[Byte(s0, 0)], kSBox[Byte(s1, 1)], kSBox[Byte(s2, 2)], kSBox[Byte(s3, 3)]) ^ last[0], out);
  StoreWord(Word(kSBox[Byte(s1, 0)], kSBox[Byte(s2, 1)], kSBox[Byte(s3, 2)], kSBox[Byte(s0, 3)]) ^ last[1], out + 4);
  StoreWord(Word(kSBox[Byte(s2, 0)], kSBox[Byte(s3, 1)], kSBox[Byte(s0, 2)], kSBox[Byte(s1, 3)]) ^ last[2], out + 8);
  StoreWord(Word(kSBox[Byte(s3, 0)], kSBox[Byte(s0, 1)], kSBox[Byte(s1, 2)], kSBox[Byte(s2, 3)]) ^ last[3], out + 12);
}

void CAesCipher::DecryptBlock(const std::uint8_t* in, std::uint8_t* out) const {
  RequireKey();
  const auto& k = decrypt_keys_;
  std::uint32_t s0 = LoadWord(in) ^ k[0][0];
  std::uint32_t s1 = LoadWord(in + 4) ^ k[0][1];
  std::uint32_t s2 = LoadWord(in + 8) ^ k[0][2];
  std::uint32_t s3 = LoadWord(in + 12) ^ k[0][3];
  for (int round = 1; round < kRounds; ++round) {
    const std::uint32_t t0 =
        kTd0[Byte(s0, 0)] ^ kTd1[Byte(s3, 1)] ^ kTd2[Byte(s2, 2)] ^ kTd3[Byte(s1, 3)] ^ k[round][0];
    const std::uint32_t t1 =
        kTd0[Byte(s1, 0)] ^ kTd1[Byte(s0, 1)] ^ kTd2[Byte(s3, 2)] ^ kTd3[Byte(s2, 3)] ^ k[round][1];
    const std::uint32_t t2 =
        kTd0[Byte(s2, 0)] ^ kTd1[Byte(s1, 1)] ^ kTd2[Byte(s0, 2)] ^ kTd3[Byte(s3, 3)] ^ k[round][2];
    const std::uint32_t t3 =
        kTd0[Byte(s3, 0)] ^ kTd1[Byte(s2, 1)] ^ kTd2[Byte(s1, 2)] ^ kTd3[Byte(s0, 3)] ^ k[round][3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  const auto& last = k[kRounds];
  const auto& inv = kInverseSBox;
  StoreWord(Word(inv[Byte(s0, 0)], inv[Byte(s3, 1)], inv[Byte(s2, 2)], inv[Byte(s1, 3)]) ^ last[0], out);
  StoreWord(Word(inv[Byte(s1, 0)], inv[Byte(s0, 1)], inv[Byte(s3, 2)], inv[Byte(s2, 3)]) ^ last[1], out + 4);
  StoreWord(Word(inv[Byte(s2, 0)], inv[Byte(s1, 1)], inv[Byte(s0, 2)], inv[Byte(s3, 3)]) ^ last[2], out + 8);
  StoreWord(Word(inv[Byte(s3, 0)], inv[Byte(s2, 1)], inv[Byte(s1, 2)], inv[Byte(s0, 3)]) ^ last[3], out + 12);
}

void CAesCipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const {
  RequireKey();
  if (length == 0 || length % kBlockSize != 0) {
    throw std::runtime_error("Data not multiple of Block Size");
  }
  for (std::size_t offset = 0; offset < length; offset += kBlockSize) {
    EncryptBlock(in + offset, out + offset);
  }
  out[length] = 0;
}

void CAesCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const {
  RequireKey();
  for (std::size_t offset = 0; offset + kBlockSize <= length; offset += kBlockSize) {
    DecryptBlock(in + offset, out + offset);
  }
  out[length] = 0;
}

}  // namespace lumivanta
