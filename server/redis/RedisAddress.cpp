#include "server/redis/RedisAddress.h"

#include <charconv>

namespace lumivanta::server {

namespace {

constexpr std::string_view kTcpScheme = "redis://";
constexpr std::string_view kUnixScheme = "unix://";
constexpr int kDatabases = 16;

// A whole number from first to last within [low, high].
std::optional<int> Number(std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<RedisAddress> ParseTcp(std::string_view rest) {
  RedisAddress address;
  const std::size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  if (slash != std::string_view::npos) {
    const std::optional<int> database = Number(rest.substr(slash + 1), 0, kDatabases - 1);
    if (!database) {
      return std::nullopt;
    }
    address.database = *database;
  }
  if (authority.find('@') != std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view host = authority;
  std::string_view port;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) {
      return std::nullopt;
    }
    host = authority.substr(1, close - 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && !after.starts_with(':')) {
      return std::nullopt;
    }
    port = after.empty() ? after : after.substr(1);
  } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) {
    return std::nullopt;
  }
  address.host = std::string(host);
  if (!port.empty() || authority.ends_with(':')) {
    const std::optional<int> number = Number(port, 1, 65535);
    if (!number) {
      return std::nullopt;
    }
    address.port = *number;
  }
  return address;
}

std::optional<RedisAddress> ParseUnix(std::string_view rest) {
  RedisAddress address;
  const std::size_t question = rest.find('?');
  const std::string_view path = rest.substr(0, question);
  if (!path.starts_with('/') || path.size() < 2) {
    return std::nullopt;
  }
  if (question != std::string_view::npos) {
    const std::string_view query = rest.substr(question + 1);
    if (!query.starts_with("db=")) {
      return std::nullopt;
    }
    const std::optional<int> database = Number(query.substr(3), 0, kDatabases - 1);
    if (!database) {
      return std::nullopt;
    }
    address.database = *database;
  }
  address.unix_socket = std::string(path);
  return address;
}

}  // namespace

std::string DescribeRedisAddress(const RedisAddress& address) {
  const std::string database = std::to_string(address.database);
  if (address.unix_socket) {
    return "unix://" + *address.unix_socket + (address.database != 0 ? "?db=" + database : "");
  }
  const std::string host = address.host.find(':') == std::string::npos ? address.host : "[" + address.host + "]";
  return "redis://" + host + ":" + std::to_string(address.port) + (address.database != 0 ? "/" + database : "");
}

std::optional<RedisAddress> ParseRedisAddress(std::string_view text) {
  if (text.starts_with(kTcpScheme)) {
    return ParseTcp(text.substr(kTcpScheme.size()));
  }
  if (text.starts_with(kUnixScheme)) {
    return ParseUnix(text.substr(kUnixScheme.size()));
  }
  return std::nullopt;
}

}  // namespace lumivanta::server
