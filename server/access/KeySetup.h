#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "server/access/AccessKeys.h"

namespace lumivanta::server {

inline constexpr const char* kUploadKeyVariable = "LUMIVANTA_UPLOAD_KEY";
inline constexpr const char* kViewKeyVariable = "LUMIVANTA_VIEW_KEY";
inline constexpr const char* kRedisPasswordVariable = "LUMIVANTA_REDIS_PASSWORD";

// The key files named on the command line.
struct KeyFiles {
  std::optional<std::filesystem::path> upload_key;
  std::optional<std::filesystem::path> view_key;
  std::optional<std::filesystem::path> redis_password;
  // A Redis password is looked for only when the pictures are kept in Redis.
  bool wants_redis_password = false;
};

struct KeySetup {
  AccessKeys keys;
  // The password Redis asks for, with --redis; empty when none is given.
  std::string redis_password;
  // Why the keys cannot be used; empty when they can.
  std::string error;
};

// Reads each key from the first place that has one: the file named by
// --upload-key-file or --view-key-file, the service manager's credential
// ($CREDENTIALS_DIRECTORY/upload-key or view-key), then the environment
// (LUMIVANTA_UPLOAD_KEY, LUMIVANTA_VIEW_KEY; an empty variable counts as
// unset). A key file must be a regular file holding one well-formed key,
// surrounding white space aside; one named by an option must also be closed
// to everyone but its owner (chmod 600), as a credential already is. With
// --redis, the Redis password comes the same way: --redis-password-file,
// $CREDENTIALS_DIRECTORY/redis-password or LUMIVANTA_REDIS_PASSWORD.
KeySetup LoadAccessKeys(const KeyFiles& files, const std::function<const char*(const char*)>& environment);
KeySetup LoadAccessKeys(const KeyFiles& files);

// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(std::string_view host);

// Why the server must not start on this address with these keys, or empty: beyond
// loopback it needs an upload key unless --public says anyone may upload, and
// a view key equal to the upload key would hand the upload key to viewers.
std::string RefusalToStart(const std::string& host, int port, bool public_uploads, const AccessKeys& keys);

}  // namespace lumivanta::server
