#include "server/ServerOptions.h"

#include <charconv>
#include <cstdint>
#include <optional>

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

// A whole number from 1 to max, times unit.
template <typename Number>
bool ParseCount(std::string_view text, std::uint64_t max, std::uint64_t unit, Number& result) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > max) {
    return false;
  }
  result = static_cast<Number>(value * unit);
  return true;
}

struct CountOption {
  std::string_view name;
  std::uint64_t max;
  std::uint64_t unit;
};

// Reads one of the limits; nullopt when the option is not a limit, else whether the value was good.
std::optional<bool> ParseLimit(std::string_view option, std::string_view value, ServerOptions& options) {
  constexpr std::uint64_t kMaxMebibytes = 1 << 20;
  constexpr std::uint64_t kMaxCount = 1'000'000;
  constexpr std::uint64_t kMaxSeconds = 86'400;
  StoreLimits& store = options.store_limits;
  RequestLimits& requests = options.request_limits;
  if (option == "--max-names") {
    return ParseCount(value, kMaxCount, 1, store.max_names);
  }
  if (option == "--max-store-mib") {
    return ParseCount(value, kMaxMebibytes, kMebibyte, store.max_picture_bytes);
  }
  if (option == "--max-body-mib") {
    return ParseCount(value, kMaxMebibytes, kMebibyte, requests.max_body_bytes);
  }
  if (option == "--max-bodies-in-flight-mib") {
    return ParseCount(value, kMaxMebibytes, kMebibyte, requests.max_bodies_in_flight_bytes);
  }
  if (option == "--max-header-kib") {
    return ParseCount(value, kMaxMebibytes, kKibibyte, requests.max_header_bytes);
  }
  if (option == "--max-connections") {
    return ParseCount(value, kMaxCount, 1, requests.max_connections);
  }
  if (option == "--min-body-rate-kib") {
    return ParseCount(value, kMaxMebibytes, kKibibyte, requests.min_body_bytes_per_second);
  }
  if (option == "--event-stream-share") {
    constexpr std::uint64_t kWhole = 100;
    return ParseCount(value, kWhole, 1, requests.event_stream_percent);
  }
  std::int64_t seconds = 0;
  if (option == "--redis-ttl") {
    constexpr std::uint64_t kMaxTtlSeconds = 30 * kMaxSeconds;
    if (!ParseCount(value, kMaxTtlSeconds, 1, seconds)) {
      return false;
    }
    options.redis_ttl = std::chrono::seconds(seconds);
    return true;
  }
  if (option == "--header-timeout" || option == "--body-timeout") {
    if (!ParseCount(value, kMaxSeconds, 1, seconds)) {
      return false;
    }
    (option == "--header-timeout" ? requests.header_timeout : requests.body_timeout) = std::chrono::seconds(seconds);
    return true;
  }
  return std::nullopt;
}

bool IsLimit(std::string_view option) {
  ServerOptions scratch;
  return ParseLimit(option, "1", scratch).has_value();
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
  std::string redis_user;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string_view option = arguments[index];
    std::optional<std::string_view> value;
    if (const std::size_t equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    const bool takes_value = option == "--listen" || option == "--store" || option == "--upload-key-file" ||
                             option == "--view-key-file" || option == "--redis" || option == "--redis-user" ||
                             option == "--redis-password-file" || IsLimit(option);
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
    } else if (option == "--version") {
      if (result.action != CommandLine::Action::kShowHelp) {
        result.action = CommandLine::Action::kShowVersion;
      }
    } else if (option == "--new-key") {
      if (result.action == CommandLine::Action::kRun) {
        result.action = CommandLine::Action::kNewKey;
      }
    } else if (option == "--verbose") {
      result.options.verbose = true;
    } else if (option == "--public") {
      result.options.public_uploads = true;
    } else if (option == "--upload-key-file" || option == "--view-key-file") {
      if (value->empty()) {
        return Failure(std::string(option) + " needs a file");
      }
      (option == "--upload-key-file" ? result.options.upload_key_file : result.options.view_key_file) =
          std::filesystem::path(*value);
    } else if (option == "--upload-key" || option == "--view-key") {
      return Failure("a key is not given on the command line, where other users of the machine can see it; use " +
                     std::string(option) + "-file FILE or the environment variable " +
                     (option == "--upload-key" ? "LUMIVANTA_UPLOAD_KEY" : "LUMIVANTA_VIEW_KEY"));
    } else if (option == "--listen") {
      if (!ParseListenAddress(*value, result.options)) {
        return Failure("--listen needs ADDRESS:PORT with a port from 0 to 65535, not '" + std::string(*value) + "'");
      }
    } else if (option == "--redis") {
      std::optional<RedisAddress> address = ParseRedisAddress(*value);
      if (!address) {
        return Failure("--redis needs redis://HOST[:PORT][/DB] or unix:///PATH[?db=DB], without a password, not '" +
                       std::string(*value) + "'");
      }
      result.options.redis = std::move(address);
    } else if (option == "--redis-user") {
      redis_user = std::string(*value);
    } else if (option == "--redis-password-file") {
      if (value->empty()) {
        return Failure("--redis-password-file needs a file");
      }
      result.options.redis_password_file = std::filesystem::path(*value);
    } else if (option == "--redis-password") {
      return Failure(
          "a password is not given on the command line, where other users of the machine can see it; use "
          "--redis-password-file FILE or the environment variable LUMIVANTA_REDIS_PASSWORD");
    } else if (option == "--store") {
      if (value->empty()) {
        return Failure("--store needs a directory");
      }
      result.options.store_directory = std::filesystem::path(*value);
    } else if (const std::optional<bool> limit = ParseLimit(option, *value, result.options); limit) {
      if (!*limit) {
        return Failure(std::string(option) + " needs a whole number above 0 in range, not '" + std::string(*value) +
                       "'");
      }
    } else {
      return Failure("unknown option '" + std::string(option) + "'");
    }
  }
  if (result.options.redis) {
    result.options.redis->user = redis_user;
  }
  if (result.options.redis && result.options.store_directory) {
    return Failure("--store and --redis exclude each other: pictures are kept in one place");
  }
  if (!result.options.redis && (!redis_user.empty() || result.options.redis_password_file)) {
    return Failure("--redis-user and --redis-password-file need --redis");
  }
  const RequestLimits& requests = result.options.request_limits;
  if (requests.max_body_bytes > requests.max_bodies_in_flight_bytes) {
    return Failure("--max-body-mib must not exceed --max-bodies-in-flight-mib");
  }
  return result;
}

std::string UsageText() {
  const StoreLimits store;
  const RequestLimits requests;
  const auto mib = [](std::size_t bytes) { return std::to_string(bytes / kMebibyte); };
  return "Usage: lumivanta-server [--listen ADDRESS:PORT] [--store DIR | --redis URL] [--verbose] [KEYS] [LIMITS]\n"
         "       lumivanta-server --new-key\n"
         "\n"
         "Receives the pictures Lumivanta uploads and shows them on a viewer page.\n"
         "\n"
         "  --listen ADDRESS:PORT  where to accept connections (default 127.0.0.1:8080);\n"
         "                         port 0 picks a free port, printed when listening\n"
         "  --store DIR            keep pictures as files in DIR, so they survive a restart\n"
         "                         (default: in memory only)\n"
         "  --verbose              log every request to standard error, not only uploads\n"
         "                         and refusals\n"
         "  --new-key              print a new random key and exit\n"
         "  --version              show the version\n"
         "  --help                 show this text\n"
         "\n"
         "Keys, each 16 to 256 characters A-Z a-z 0-9 _ -:\n"
         "  --upload-key-file FILE  uploads and deletes need this key, sent in the server\n"
         "                          URL as http://HOST:PORT/u/KEY/; it also opens the\n"
         "                          viewer at that address\n"
         "  --view-key-file FILE    the viewer needs this key: http://HOST:PORT/v/KEY/\n"
         "  --public                listen beyond loopback without an upload key, letting\n"
         "                          anyone upload and delete\n"
         "A key file may be readable by its owner only (chmod 600). Without the option a\n"
         "key comes from $CREDENTIALS_DIRECTORY/upload-key or view-key (systemd's\n"
         "LoadCredential=), else from LUMIVANTA_UPLOAD_KEY or LUMIVANTA_VIEW_KEY. A key is\n"
         "never given on the command line. Listening on an address other than loopback\n"
         "needs an upload key or --public.\n"
         "\n"
         "Several instances behind one load balancer share their pictures through Redis:\n"
         "  --redis URL               keep pictures in Redis at redis://HOST[:PORT][/DB]\n"
         "                            or unix:///PATH[?db=DB] rather than in memory; every\n"
         "                            instance with the same URL serves the same pictures\n"
         "  --redis-user NAME         log in to Redis as NAME (with a password)\n"
         "  --redis-password-file FILE  the Redis password, in a file only its owner may\n"
         "                            read; else $CREDENTIALS_DIRECTORY/redis-password or\n"
         "                            LUMIVANTA_REDIS_PASSWORD\n"
         "  --redis-ttl SECONDS       how long Redis keeps a name's newest picture after\n"
         "                            its upload (default 3600)\n"
         "The limits on names and MiB kept then hold for all instances together.\n"
         "\n"
         "Limits, each a whole number:\n"
         "  --max-names N                 names kept (default " +
         std::to_string(store.max_names) +
         ")\n"
         "  --max-store-mib N             MiB of pictures kept (default " +
         mib(store.max_picture_bytes) +
         ")\n"
         "  --max-body-mib N              MiB of one request body (default " +
         mib(requests.max_body_bytes) +
         ")\n"
         "  --max-bodies-in-flight-mib N  MiB of request bodies received at once (default " +
         mib(requests.max_bodies_in_flight_bytes) +
         ")\n"
         "  --max-header-kib N            KiB of one request's header (default " +
         std::to_string(requests.max_header_bytes / kKibibyte) +
         ")\n"
         "  --max-connections N           open connections (default " +
         std::to_string(requests.max_connections) +
         ")\n"
         "  --event-stream-share PERCENT  of those, the share event streams may hold (default " +
         std::to_string(requests.event_stream_percent) +
         ")\n"
         "  --header-timeout SECONDS      time for a whole request header (default " +
         std::to_string(requests.header_timeout.count()) +
         " s)\n"
         "  --body-timeout SECONDS        time for a whole body or answer (default " +
         std::to_string(requests.body_timeout.count()) +
         " s)\n"
         "  --min-body-rate-kib N         KiB per second a body must keep, averaged over " +
         std::to_string(kBodyRateWindow.count()) + " s\n" + "                                (default " +
         std::to_string(requests.min_body_bytes_per_second / kKibibyte) +
         ")\n"
         "\n"
         "Contact names have 1 to " +
         std::to_string(kMaxStreamNameLength) +
         " characters A-Z a-z 0-9 _ -. Only the newest picture of each\n"
         "name is kept, by default for at most " +
         std::to_string(store.max_names) + " names and " + mib(store.max_picture_bytes) +
         " MiB of pictures in all;\n"
         "past that the names whose newest picture is oldest are dropped. Request bodies\n"
         "are limited to " +
         mib(requests.max_body_bytes) +
         " MiB by default.\n"
         "\n"
         "Viewer page: http://ADDRESS:PORT/ (or /?name=NAME to open a name directly);\n"
         "with a view key http://ADDRESS:PORT/v/KEY/.\n";
}

}  // namespace lumivanta::server
