#include "settings/Settings.h"

#include <ctime>

#include "base/LocalTime.h"
#include "settings/ValueCipher.h"
#include "settings/ViewerAddress.h"
#include "strings/StringTable.h"

namespace lumivanta {
namespace {
constexpr std::string_view kFileName = "lumivanta.lic";
constexpr std::string_view kKeyText = "KRT3(#mx58qd7.Jz";
constexpr std::string_view kUploadQuery = "?server&stream_name=";
constexpr std::int32_t kDefaultRefreshRateMs = 1000;
constexpr std::uint32_t kDefaultPictureQuality = 0;
constexpr std::uint32_t kDefaultPictureSize = 600;
}  // namespace

std::string DefaultContactName(std::time_t when) { return FormatLocalTime("%y%m%d%H%M%S", when); }

CSettings::CSettings() : file_name(kFileName), encipher(true), key_text(kKeyText), connected(false) { SetDefaults(); }

void CSettings::SetDefaults() {
  server_url = std::string(Text(ids::kDefaultServerUrl));
  contact_name = DefaultContactName(std::time(nullptr));
  refresh_rate_ms = kDefaultRefreshRateMs;
  picture_quality = kDefaultPictureQuality;
  picture_size = kDefaultPictureSize;
  UpdateServerAddresses();
}

void CSettings::CopyFrom(const CSettings& other) { *this = other; }

void CSettings::UpdateServerAddresses() {
  upload_address = server_url;
  upload_address += kUploadQuery;
  upload_address += contact_name;
  viewer_address = ViewerAddressWithoutUploadKey(server_url, viewer_key);
  if (viewer_address.empty()) {
    viewer_address =
        server_url == Text(ids::kDefaultServerUrl) ? std::string(Text(ids::kPublicWebAddress)) : server_url;
  }
}

std::string CSettings::EncipherValue(std::string_view line) const {
  return encipher ? EncipherWithKey(line, key_text) : std::string(line);
}

std::string CSettings::DecipherValue(std::string_view stored) const {
  return encipher ? DecipherWithKey(stored, key_text) : std::string(stored);
}

}  // namespace lumivanta
