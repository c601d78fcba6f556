#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumivanta::server {

// The secrets that guard the server. Without an upload key anyone may upload
// and delete; without a view key anyone may watch.
struct AccessKeys {
  std::optional<std::string> upload_key;
  std::optional<std::string> view_key;
};

inline constexpr std::size_t kMinKeyLength = 16;
inline constexpr std::size_t kMaxKeyLength = 256;

// True when the key is 16 to 256 characters from A-Z a-z 0-9 _ -, so it
// stands in a URL's path as it is.
bool IsWellFormedKey(std::string_view key);

// Compares a key sent by a client with the right one in time that depends
// only on the right key's length, so that timing tells nothing of how much matched.
bool SameKey(std::string_view given, std::string_view expected);

// 32 random bytes from the kernel as unpadded base64url: 43 characters.
// Throws std::system_error when the kernel gives no random bytes.
std::string NewRandomKey();

}  // namespace lumivanta::server
