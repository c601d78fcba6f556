// Feeds arbitrary bytes through the configuration file's parsing and through
// the value cipher, and checks that what is read keeps to the settings page's
// rules and that a line survives enciphering unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/Settings.h"
#include "settings/SettingsRules.h"
#include "settings/TextRules.h"
#include "settings/ValueCipher.h"

namespace {

// The line that deciphering an enciphered line must give back: cut to 96
// bytes, cut at the first NUL byte, trimmed of white space.
std::string ExpectedRoundTrip(std::string_view line) {
  line = line.substr(0, lumivanta::kPlainLineLength);
  line = line.substr(0, line.find('\0'));
  return std::string(lumivanta::TrimWhiteSpace(line));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  lumivanta::CSettings settings;
  settings.ApplyConfigurationText(bytes);
  settings.UpdateServerAddresses();
  // Whatever the file held, the settings keep to the rules of the settings page.
  if (!lumivanta::IsServerUrlForm(settings.server_url) || !lumivanta::IsContactNameForm(settings.contact_name) ||
      !lumivanta::IsPictureQuality(settings.picture_quality) || !lumivanta::IsPictureSize(settings.picture_size) ||
      !lumivanta::IsRefreshRate(settings.refresh_rate_ms)) {
    __builtin_trap();
  }

  const std::string deciphered = settings.DecipherValue(bytes);
  if (bytes.size() < lumivanta::kStoredLineLength && deciphered != bytes) {
    __builtin_trap();
  }

  const std::string stored = settings.EncipherValue(bytes);
  if (!bytes.empty() && stored.size() != lumivanta::kStoredLineLength) {
    __builtin_trap();
  }
  if (settings.DecipherValue(stored) != ExpectedRoundTrip(bytes)) {
    __builtin_trap();
  }
  return 0;
}
