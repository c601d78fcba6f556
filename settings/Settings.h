#pragma once

// The settings record: everything the user can configure, the two addresses
// derived from it, and what the configuration file needs. A plain value type.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace lumivanta {

class CSettings {
 public:
  CSettings();

  // Server URL, contact name (the local time as "%y%m%d%H%M%S"), refresh rate,
  // quality and size to their defaults, then the derived addresses. File name,
  // key text, encipher flag and connected flag are left alone.
  void SetDefaults();

  void CopyFrom(const CSettings& other);

  // upload address := server URL + "?server&stream_name=" + contact name, joined
  // as they are. The viewer address never holds the upload key: a server URL
  // with an upload-key segment gives itself without that segment (with
  // viewer_key's segment instead when set); otherwise the viewer address is the
  // public web address while the server URL is the default one, else the
  // server URL itself.
  void UpdateServerAddresses();

  // Reads the configuration file named by file_name (in the current directory
  // unless it holds a path). True when the file was opened and the server URL
  // is not empty afterwards; fields the file does not name keep their defaults.
  bool Load();

  // Writes the configuration file. The new content goes to a file beside the
  // old one, is flushed to disk and then renamed over it, so a failed save
  // leaves the old file as it was. True when the file was replaced.
  bool Save() const;

  // The part of Load that reads the file's text: comment lines skipped, every
  // other line trimmed, deciphered and matched against the five keys. A value
  // that breaks the rules of the settings page (settings/SettingsRules.h)
  // takes its default.
  void ApplyConfigurationText(std::string_view text);

  // The stored form of one configuration line and back; both pass the text
  // unchanged while the encipher flag is off.
  std::string EncipherValue(std::string_view line) const;
  std::string DecipherValue(std::string_view stored) const;

  std::string file_name;
  bool encipher = true;
  std::string key_text;
  std::string server_url;
  std::string viewer_address;
  // The view key of a server whose viewer is private (from the preferences,
  // not the configuration file); empty when there is none.
  std::string viewer_key;
  std::string upload_address;
  std::string contact_name;
  // 0 "Compressed", 1 "Normal", 2 "High"; anything else encodes like 0.
  std::uint32_t picture_quality = 0;
  // Target picture height in pixels; 0 keeps the captured size.
  std::uint32_t picture_size = 0;
  std::int32_t refresh_rate_ms = 0;
  bool connected = false;
};

// The contact name that SetDefaults makes for this moment: "%y%m%d%H%M%S" of
// the local time, or empty when the local time cannot be had.
std::string DefaultContactName(std::time_t when);

}  // namespace lumivanta
