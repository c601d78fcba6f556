#include "settings/ViewerAddress.h"

#include <optional>

#include "base/UploadKeyPath.h"

namespace lumivanta {
namespace {

constexpr std::size_t kShortestViewKey = 16;
constexpr std::size_t kLongestViewKey = 256;

bool IsUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

std::string PercentEncoded(std::string_view text) {
  constexpr std::string_view kHexDigits = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    if (IsUnreserved(c)) {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace

bool IsViewKey(std::string_view key) {
  if (key.size() < kShortestViewKey || key.size() > kLongestViewKey) {
    return false;
  }
  for (const char c : key) {
    if (!IsUnreserved(c) || c == '.' || c == '~') {
      return false;
    }
  }
  return true;
}

std::string ViewerAddressWithoutUploadKey(std::string_view server_url, std::string_view view_key) {
  const std::optional<UploadKeyPath> upload_key = FindUploadKeyPath(server_url);
  if (!upload_key) {
    return {};
  }
  std::string address(server_url.substr(0, upload_key->start));
  if (!view_key.empty()) {
    address += "v/";
    address += view_key;
    address += '/';
  }
  address += server_url.substr(upload_key->start + upload_key->length);
  return address;
}

std::string ViewerLink(std::string_view viewer_address, std::string_view contact_name) {
  if (contact_name.empty()) {
    return std::string(viewer_address);
  }
  const std::size_t fragment = std::min(viewer_address.find('#'), viewer_address.size());
  const std::string_view before_fragment = viewer_address.substr(0, fragment);
  std::string link(before_fragment);
  link += before_fragment.find('?') == std::string_view::npos ? '?' : '&';
  link += "name=";
  link += PercentEncoded(contact_name);
  link += viewer_address.substr(fragment);
  return link;
}

}  // namespace lumivanta
