#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/http/RequestLimits.h"
#include "server/redis/RedisAddress.h"
#include "server/store/StoreLimits.h"

namespace lumivanta::server {

// What the command line sets; the options and their help are one table in ServerOptions.cpp.
struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::optional<std::filesystem::path> store_directory;
  // Logs every request rather than only uploads and refusals.
  bool verbose = false;
  // Files holding the upload key and the view key; see KeySetup.h for the other places keys come from.
  std::optional<std::filesystem::path> upload_key_file;
  std::optional<std::filesystem::path> view_key_file;
  // Lets the server listen beyond loopback without an upload key.
  bool public_uploads = false;
  // Pictures kept in Redis, shared with other instances, instead of in memory or store_directory.
  std::optional<RedisAddress> redis;
  std::optional<std::filesystem::path> redis_password_file;
  // How long Redis keeps a name's newest picture after its upload.
  std::chrono::seconds redis_ttl{3600};
  StoreLimits store_limits;
  RequestLimits request_limits;
};

struct CommandLine {
  enum class Action { kRun, kShowHelp, kShowVersion, kNewKey, kFail };
  Action action = Action::kRun;
  ServerOptions options;
  // Why the command line was refused, for Action::kFail.
  std::string error;
};

// Reads the arguments after the program name.
CommandLine ParseCommandLine(std::span<const std::string_view> arguments);

// An option as the usage text and the man page list it: its name and what
// its value stands for ("DIR"; empty for a flag).
struct ListedOption {
  std::string_view name;
  std::string_view value;
};

// The options the usage text lists, in its order.
std::vector<ListedOption> ListedOptions();

std::string UsageText();

inline constexpr std::string_view kVersionText = "lumivanta-server " LUMIVANTA_VERSION "\n";

}  // namespace lumivanta::server
