#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivanta::server {

// Where a Redis server listens, and which of its databases to use.
struct RedisAddress {
  // A TCP host and port, or a Unix socket's path when unix_socket is set.
  std::string host;
  int port = 6379;
  std::optional<std::string> unix_socket;
  int database = 0;
  // Login, when Redis asks for one; never read from the address itself.
  std::string user;
  std::string password;
};

// The address as the log shows it, without the password.
std::string DescribeRedisAddress(const RedisAddress& address);

// Reads "redis://HOST[:PORT][/DB]" (HOST may be an [IPv6] literal) or
// "unix:///PATH[?db=DB]"; nullopt for anything else. Passwords are not taken
// from the address, as it appears on the command line.
std::optional<RedisAddress> ParseRedisAddress(std::string_view text);

}  // namespace lumivanta::server
