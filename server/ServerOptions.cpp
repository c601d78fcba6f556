#include "server/ServerOptions.h"

#include <charconv>

#include "server/Limits.h"
#include "server/StreamName.h"

namespace lumivanta::server {

namespace {

constexpr int kMaxPort = 65535;

// Splits HOST:PORT at the last colon; an IPv6 host may be written in brackets.
bool ParseListenAddress(std::string_view text, ServerOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    return false;
  }
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  int port = -1;
  const auto [end, error] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (host.empty() || port_text.empty() || error != std::errc() || end != port_text.data() + port_text.size() ||
      port < 0 || port > kMaxPort) {
    return false;
  }
  options.host = std::string(host);
  options.port = port;
  return true;
}

CommandLine Failure(std::string error) {
  CommandLine result;
  result.action = CommandLine::Action::kFail;
  result.error = std::move(error);
  return result;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  CommandLine result;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string_view option = arguments[index];
    std::optional<std::string_view> value;
    if (const std::size_t equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    const bool takes_value = option == "--listen" || option == "--store";
    if (takes_value && !value) {
      if (index + 1 == arguments.size()) {
        return Failure(std::string(option) + " needs a value");
      }
      value = arguments[++index];
    } else if (!takes_value && value) {
      return Failure(std::string(option) + " takes no value");
    }

    if (option == "--help" || option == "-h") {
      result.action = CommandLine::Action::kShowHelp;
    } else if (option == "--verbose") {
      result.options.verbose = true;
    } else if (option == "--listen") {
      if (!ParseListenAddress(*value, result.options)) {
        return Failure("--listen needs ADDRESS:PORT with a port from 0 to 65535, not '" + std::string(*value) + "'");
      }
    } else if (option == "--store") {
      if (value->empty()) {
        return Failure("--store needs a directory");
      }
      result.options.store_directory = std::filesystem::path(*value);
    } else {
      return Failure("unknown option '" + std::string(option) + "'");
    }
  }
  return result;
}

std::string UsageText() {
  const StoreLimits limits;
  return "Usage: lumivanta-server [--listen ADDRESS:PORT] [--store DIR] [--verbose]\n"
         "\n"
         "Receives the pictures Lumivanta uploads and shows them on a viewer page.\n"
         "\n"
         "  --listen ADDRESS:PORT  where to accept connections (default 127.0.0.1:8080);\n"
         "                         port 0 picks a free port, printed when listening\n"
         "  --store DIR            keep pictures as files in DIR, so they survive a restart\n"
         "                         (default: in memory only)\n"
         "  --verbose              log every request to standard error\n"
         "  --help                 show this text\n"
         "\n"
         "Limits: request bodies up to " +
         std::to_string(kMaxRequestBodyBytes / kMebibyte) + " MiB; contact names of 1 to " +
         std::to_string(kMaxStreamNameLength) +
         " characters A-Z a-z 0-9 _ -;\n"
         "only the newest picture of each name is kept, for at most " +
         std::to_string(limits.max_names) + " names and " + std::to_string(limits.max_picture_bytes / kMebibyte) +
         " MiB\n"
         "of pictures in all; past that the names whose newest picture is oldest are dropped.\n"
         "\n"
         "Viewer page: http://ADDRESS:PORT/ (or /?name=NAME to open a name directly).\n";
}

}  // namespace lumivanta::server
