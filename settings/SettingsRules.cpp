#include "settings/SettingsRules.h"

#include <algorithm>

namespace lumivanta {
namespace {

// The length of the UTF-8 sequence that starts with lead, 0 when lead cannot start one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

// Well-formed UTF-8 whose code points are neither controls (C0, DEL, C1) nor blanks.
bool IsPrintableUtf8WithoutBlanks(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = SequenceLength(lead);
    if (length == 0 || at + length > text.size()) {
      return false;
    }
    std::uint32_t code_point = length == 1 ? lead : lead & (0xFFU >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) {
        return false;
      }
      code_point = code_point << 6 | (next & 0x3FU);
    }
    constexpr std::uint32_t kShortestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = code_point < kShortestOfLength[length];
    const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
    const bool control = code_point <= 0x20 || (code_point >= 0x7F && code_point <= 0xA0);
    if (overlong || surrogate || control || code_point > 0x10FFFF) {
      return false;
    }
    at += length;
  }
  return true;
}

}  // namespace

bool IsServerUrlForm(std::string_view url) { return IsPrintableUtf8WithoutBlanks(url); }

bool IsContactNameForm(std::string_view name) {
  return name.find_first_not_of(kContactNameCharacters) == std::string_view::npos;
}

bool IsPictureQuality(std::uint32_t quality) { return quality < kPictureQualityCount; }

bool IsPictureSize(std::uint32_t size) {
  return std::find(kPictureSizes.begin(), kPictureSizes.end(), size) != kPictureSizes.end();
}

bool IsRefreshRate(std::int32_t refresh_rate_ms) { return refresh_rate_ms >= kMinimumRefreshRateMs; }

}  // namespace lumivanta
