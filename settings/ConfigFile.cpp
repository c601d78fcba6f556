// Load and Save of the settings record: the configuration file.

#include <sys/stat.h>

#include <array>
#include <string>

#include "settings/FileReplacement.h"
#include "settings/FileStream.h"
#include "settings/Settings.h"
#include "settings/SettingsRules.h"
#include "settings/TextRules.h"
#include "settings/ValueCipher.h"

namespace lumivanta {
namespace {

constexpr std::size_t kReadLimitBytes = 6000;
constexpr std::size_t kKeyLength = 3;  // two digits and "="

constexpr std::string_view kServerUrlKey = "04=";
constexpr std::string_view kContactNameKey = "05=";
constexpr std::string_view kPictureQualityKey = "06=";
constexpr std::string_view kRefreshRateKey = "07=";
constexpr std::string_view kPictureSizeKey = "08=";

}  // namespace

void CSettings::ApplyConfigurationText(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    const std::string_view piece = text.substr(start, end - start);
    start = end + 1;
    if (piece.empty() || piece.front() == ';') {
      continue;
    }
    const std::string line = DecipherValue(TrimWhiteSpace(piece));
    const std::string_view key = std::string_view(line).substr(0, kKeyLength);
    const std::string_view value = std::string_view(line).substr(key.size());
    if (key == kServerUrlKey) {
      server_url = value;
    } else if (key == kContactNameKey) {
      contact_name = value;
    } else if (key == kPictureQualityKey) {
      picture_quality = LeadingInteger(value);
    } else if (key == kRefreshRateKey) {
      refresh_rate_ms = static_cast<std::int32_t>(LeadingInteger(value));
    } else if (key == kPictureSizeKey) {
      picture_size = LeadingInteger(value);
    }
  }
  // What the settings page would never let through (a damaged line that
  // deciphered to junk under a known key, a hand-edited number out of its
  // range) takes its default, so that it is neither used nor saved back.
  const CSettings defaults;
  if (!IsServerUrlForm(server_url)) {
    server_url = defaults.server_url;
  }
  if (!IsContactNameForm(contact_name)) {
    contact_name = defaults.contact_name;
  }
  if (!IsPictureQuality(picture_quality)) {
    picture_quality = defaults.picture_quality;
  }
  if (!IsRefreshRate(refresh_rate_ms)) {
    refresh_rate_ms = defaults.refresh_rate_ms;
  }
  if (!IsPictureSize(picture_size)) {
    picture_size = defaults.picture_size;
  }
}

bool CSettings::Load() {
  SetDefaults();
  struct stat info {};
  if (::stat(file_name.c_str(), &info) != 0) {
    return false;
  }
  CFileStream file;
  if (!file.Open(file_name, CFileStream::Access::kRead)) {
    return false;
  }
  ApplyConfigurationText(file.ReadText(kReadLimitBytes));
  UpdateServerAddresses();
  file.Close();
  return !server_url.empty();
}

bool CSettings::Save() const {
  const std::array<std::string, 9> lines{
      ";Please do not change!",
      ";",
      ";If this file is deleted, all settings will be lost",
      ";",
      EncipherValue(std::string(kServerUrlKey) + server_url),
      EncipherValue(std::string(kContactNameKey) + contact_name),
      EncipherValue(std::string(kPictureQualityKey) + std::to_string(picture_quality)),
      EncipherValue(std::string(kRefreshRateKey) + std::to_string(static_cast<std::uint32_t>(refresh_rate_ms))),
      EncipherValue(std::string(kPictureSizeKey) + std::to_string(picture_size)),
  };
  return ReplaceFileWithLines(file_name, lines);
}

}  // namespace lumivanta
