#pragma once

// The AES lookup tables (S-box, inverse S-box, round constants and the combined
// round tables), computed once by the compiler from the field arithmetic of
// GF(2^8), so a block costs table look-ups and exclusive-ors only.

#include <array>
#include <cstdint>

namespace lumivanta::aes {

using ByteTable = std::array<std::uint8_t, 256>;
using WordTable = std::array<std::uint32_t, 256>;

constexpr std::uint8_t Times2(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 1) ^ ((value & 0x80) != 0 ? 0x1b : 0x00));
}

constexpr std::uint8_t Multiply(std::uint8_t a, std::uint8_t b) {
  std::uint8_t product = 0;
  while (b != 0) {
    if ((b & 1) != 0) {
      product ^= a;
    }
    a = Times2(a);
    b >>= 1;
  }
  return product;
}

constexpr std::uint8_t RotateLeft8(std::uint8_t value, int shift) {
  return static_cast<std::uint8_t>((value << shift) | (value >> (8 - shift)));
}

// Multiplicative inverses through powers of the generator 3: 3^i walks
// through every non-zero element, and the inverse of 3^i is 3^(255 - i).
constexpr ByteTable MakeSBox() {
  ByteTable power{};
  ByteTable logarithm{};
  std::uint8_t value = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = value;
    logarithm[value] = static_cast<std::uint8_t>(i);
    value = Multiply(value, 3);
  }
  ByteTable box{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t inverse = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
    box[x] = static_cast<std::uint8_t>(inverse ^ RotateLeft8(inverse, 1) ^ RotateLeft8(inverse, 2) ^
                                       RotateLeft8(inverse, 3) ^ RotateLeft8(inverse, 4) ^ 0x63);
  }
  return box;
}

constexpr ByteTable Invert(const ByteTable& box) {
  ByteTable inverse{};
  for (int x = 0; x < 256; ++x) {
    inverse[box[x]] = static_cast<std::uint8_t>(x);
  }
  return inverse;
}

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

constexpr std::uint32_t RotateRight32(std::uint32_t value, int shift) {
  return (value >> shift) | (value << (32 - shift));
}

// Round table for enciphering: SubBytes and one column of MixColumns; shift
// selects which of the four byte positions the input byte lands in.
constexpr WordTable MakeEncipherTable(const ByteTable& box, int shift) {
  WordTable table{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = box[x];
    const std::uint32_t word = Word(Multiply(s, 2), s, s, Multiply(s, 3));
    table[x] = shift == 0 ? word : RotateRight32(word, shift);
  }
  return table;
}

// Round table for deciphering: InvSubBytes and one column of InvMixColumns.
constexpr WordTable MakeDecipherTable(const ByteTable& inverse_box, int shift) {
  WordTable table{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = inverse_box[x];
    const std::uint32_t word = Word(Multiply(s, 14), Multiply(s, 9), Multiply(s, 13), Multiply(s, 11));
    table[x] = shift == 0 ? word : RotateRight32(word, shift);
  }
  return table;
}

constexpr std::array<std::uint32_t, 10> MakeRoundConstants() {
  std::array<std::uint32_t, 10> constants{};
  std::uint8_t value = 1;
  for (auto& constant : constants) {
    constant = Word(value, 0, 0, 0);
    value = Times2(value);
  }
  return constants;
}

inline constexpr ByteTable kSBox = MakeSBox();
inline constexpr ByteTable kInverseSBox = Invert(kSBox);
inline constexpr std::array<std::uint32_t, 10> kRoundConstants = MakeRoundConstants();
inline constexpr WordTable kTe0 = MakeEncipherTable(kSBox, 0);
inline constexpr WordTable kTe1 = MakeEncipherTable(kSBox, 8);
inline constexpr WordTable kTe2 = MakeEncipherTable(kSBox, 16);
inline constexpr WordTable kTe3 = MakeEncipherTable(kSBox, 24);
inline constexpr WordTable kTd0 = MakeDecipherTable(kInverseSBox, 0);
inline constexpr WordTable kTd1 = MakeDecipherTable(kInverseSBox, 8);
inline constexpr WordTable kTd2 = MakeDecipherTable(kInverseSBox, 16);
inline constexpr WordTable kTd3 = MakeDecipherTable(kInverseSBox, 24);

static_assert(kSBox[0x00] == 0x63 && kSBox[0x53] == 0xed && kSBox[0xff] == 0x16);
static_assert(kInverseSBox[0x63] == 0x00 && kRoundConstants[9] == 0x36000000);

}  // namespace lumivanta::aes
