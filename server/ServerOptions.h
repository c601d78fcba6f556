#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "server/Limits.h"

namespace lumivanta::server {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::optional<std::filesystem::path> store_directory;
  // Logs every request rather than only uploads and refusals.
  bool verbose = false;
  StoreLimits store_limits;
  RequestLimits request_limits;
};

struct CommandLine {
  enum class Action { kRun, kShowHelp, kShowVersion, kFail };
  Action action = Action::kRun;
  ServerOptions options;
  // Why the command line was refused, for Action::kFail.
  std::string error;
};

// Reads the arguments after the program name.
CommandLine ParseCommandLine(std::span<const std::string_view> arguments);

std::string UsageText();

inline constexpr std::string_view kVersionText = "lumivanta-server 1.0\n";

}  // namespace lumivanta::server
