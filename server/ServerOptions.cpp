#include "server/ServerOptions.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "server/http/RequestLimits.h"
#include "server/store/StoreLimits.h"
#include "server/store/StreamName.h"

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

CommandLine Failure(std::string error) {
  CommandLine result;
  result.action = CommandLine::Action::kFail;
  result.error = std::move(error);
  return result;
}

// The usage text's groups of options, in its order. Unlisted options are
// aliases and the refusals of keys given on the command line.
enum class Group { kGeneral, kKeys, kRedis, kLimits, kUnlisted };

struct GroupText {
  Group group;
  // A line before the options; empty for none.
  std::string_view heading;
  // Where the help texts start, so that each group lines up.
  std::size_t help_column;
  // Lines after the options.
  std::string_view footer;
};

constexpr GroupText kGroupTexts[] = {
    {Group::kGeneral, "", 25, ""},
    {Group::kKeys, "Keys, each 16 to 256 characters A-Z a-z 0-9 _ -:", 26,
     "A key file may be readable by its owner only (chmod 600). Without the option a\n"
     "key comes from $CREDENTIALS_DIRECTORY/upload-key or view-key (systemd's\n"
     "LoadCredential=), else from LUMIVANTA_UPLOAD_KEY or LUMIVANTA_VIEW_KEY. A key is\n"
     "never given on the command line. Listening on an address other than loopback\n"
     "needs an upload key or --public.\n"},
    {Group::kRedis, "Several instances behind one load balancer share their pictures through Redis:", 28,
     "The limits on names and MiB kept then hold for all instances together.\n"},
    {Group::kLimits, "Limits, each a whole number:", 32, ""},
};

// A command line being read.
struct Reading {
  CommandLine command_line;
  std::string redis_user;
};

// One option: what the usage text shows of it, and how its value is taken.
struct Option {
  std::string_view name;
  // What the value stands for, as in "--store DIR"; empty for a flag.
  std::string_view value;
  Group group = Group::kUnlisted;
  // The usage text's lines for it; "{default}" stands for default_text.
  std::string help;
  std::string default_text;
  // A whole number from 1 to max, times unit; max is 0 for other values.
  std::uint64_t max = 0;
  std::uint64_t unit = 1;
  // Takes the value (empty for a flag; for a whole number, already checked and
  // multiplied by the unit), or says why it cannot.
  std::function<std::string(std::string_view value, std::uint64_t number, Reading& reading)> take;
};

Option Flag(std::string_view name, Group group, std::string help, std::function<void(Reading&)> set) {
  return {.name = name,
          .group = group,
          .help = std::move(help),
          .take = [set = std::move(set)](std::string_view, std::uint64_t, Reading& reading) {
            set(reading);
            return std::string();
          }};
}

// An option refused with its reason whenever it is given.
Option Refusal(std::string_view name, std::string reason) {
  return {.name = name,
          .take = [reason = std::move(reason)](std::string_view, std::uint64_t, Reading&) { return reason; }};
}

Option Path(std::string_view name, std::string_view value, Group group, std::string help, std::string_view kind,
            std::optional<std::filesystem::path> ServerOptions::*member) {
  return {.name = name,
          .value = value,
          .group = group,
          .help = std::move(help),
          .take = [name, kind, member](std::string_view path, std::uint64_t, Reading& reading) {
            if (path.empty()) {
              return std::string(name) + " needs " + std::string(kind);
            }
            reading.command_line.options.*member = std::filesystem::path(path);
            return std::string();
          }};
}

std::uint64_t AsNumber(std::size_t field) { return field; }
std::uint64_t AsNumber(std::chrono::seconds field) { return static_cast<std::uint64_t>(field.count()); }
void Assign(std::size_t& field, std::uint64_t number) { field = static_cast<std::size_t>(number); }
void Assign(std::chrono::seconds& field, std::uint64_t number) {
  field = std::chrono::seconds(static_cast<std::int64_t>(number));
}

// A whole number; field gives the member of the options it sets, whose
// default the usage text shows.
template <typename Field>
Option Number(std::string_view name, std::string_view value, Group group, std::string help, std::uint64_t max,
              std::uint64_t unit, Field field) {
  ServerOptions defaults;
  return {.name = name,
          .value = value,
          .group = group,
          .help = std::move(help),
          .default_text = std::to_string(AsNumber(field(defaults)) / unit),
          .max = max,
          .unit = unit,
          .take = [field](std::string_view, std::uint64_t number, Reading& reading) {
            Assign(field(reading.command_line.options), number);
            return std::string();
          }};
}

std::string KeyOnCommandLine(std::string_view option, std::string_view variable) {
  return "a key is not given on the command line, where other users of the machine can see it; use " +
         std::string(option) + "-file FILE or the environment variable " + std::string(variable);
}

std::vector<Option> MakeOptions() {
  constexpr std::uint64_t kMaxMebibytes = 1 << 20;
  constexpr std::uint64_t kMaxCount = 1'000'000;
  constexpr std::uint64_t kMaxSeconds = 86'400;
  constexpr std::uint64_t kWhole = 100;
  using CommandLineAction = CommandLine::Action;
  const ServerOptions defaults;
  const auto show_help = [](Reading& reading) { reading.command_line.action = CommandLineAction::kShowHelp; };
  std::vector<Option> options = {
      {.name = "--listen",
       .value = "ADDRESS:PORT",
       .group = Group::kGeneral,
       .help = "where to accept connections (default {default});\n"
               "port 0 picks a free port, printed when listening",
       .default_text = defaults.host + ":" + std::to_string(defaults.port),
       .take =
           [](std::string_view value, std::uint64_t, Reading& reading) {
             if (!ParseListenAddress(value, reading.command_line.options)) {
               return "--listen needs ADDRESS:PORT with a port from 0 to 65535, not '" + std::string(value) + "'";
             }
             return std::string();
           }},
      Path("--store", "DIR", Group::kGeneral,
           "keep pictures as files in DIR, so they survive a restart\n(default: in memory only)", "a directory",
           &ServerOptions::store_directory),
      Flag("--verbose", Group::kGeneral, "log every request to standard error, not only uploads\nand refusals",
           [](Reading& reading) { reading.command_line.options.verbose = true; }),
      Flag("--new-key", Group::kGeneral, "print a new random key and exit",
           [](Reading& reading) {
             if (reading.command_line.action == CommandLineAction::kRun) {
               reading.command_line.action = CommandLineAction::kNewKey;
             }
           }),
      Flag("--version", Group::kGeneral, "show the version",
           [](Reading& reading) {
             if (reading.command_line.action != CommandLineAction::kShowHelp) {
               reading.command_line.action = CommandLineAction::kShowVersion;
             }
           }),
      Flag("--help", Group::kGeneral, "show this text", show_help),
      Flag("-h", Group::kUnlisted, "", show_help),

      Path("--upload-key-file", "FILE", Group::kKeys,
           "uploads and deletes need this key, sent in the server\n"
           "URL as http://HOST:PORT/u/KEY/; it also opens the\n"
           "viewer at that address",
           "a file", &ServerOptions::upload_key_file),
      Path("--view-key-file", "FILE", Group::kKeys, "the viewer needs this key: http://HOST:PORT/v/KEY/", "a file",
           &ServerOptions::view_key_file),
      Flag("--public", Group::kKeys, "listen beyond loopback without an upload key, letting\nanyone upload and delete",
           [](Reading& reading) { reading.command_line.options.public_uploads = true; }),
      Refusal("--upload-key", KeyOnCommandLine("--upload-key", "LUMIVANTA_UPLOAD_KEY")),
      Refusal("--view-key", KeyOnCommandLine("--view-key", "LUMIVANTA_VIEW_KEY")),

      {.name = "--redis",
       .value = "URL",
       .group = Group::kRedis,
       .help = "keep pictures in Redis at redis://HOST[:PORT][/DB]\n"
               "or unix:///PATH[?db=DB] rather than in memory; every\n"
               "instance with the same URL serves the same pictures",
       .take =
           [](std::string_view value, std::uint64_t, Reading& reading) {
             std::optional<RedisAddress> address = ParseRedisAddress(value);
             if (!address) {
               return "--redis needs redis://HOST[:PORT][/DB] or unix:///PATH[?db=DB], without a password, not '" +
                      std::string(value) + "'";
             }
             reading.command_line.options.redis = std::move(address);
             return std::string();
           }},
      {.name = "--redis-user",
       .value = "NAME",
       .group = Group::kRedis,
       .help = "log in to Redis as NAME (with a password)",
       .take =
           [](std::string_view value, std::uint64_t, Reading& reading) {
             reading.redis_user = std::string(value);
             return std::string();
           }},
      Path("--redis-password-file", "FILE", Group::kRedis,
           "the Redis password, in a file only its owner may\n"
           "read; else $CREDENTIALS_DIRECTORY/redis-password or\n"
           "LUMIVANTA_REDIS_PASSWORD",
           "a file", &ServerOptions::redis_password_file),
      Refusal("--redis-password",
              "a password is not given on the command line, where other users of the machine can see it; use "
              "--redis-password-file FILE or the environment variable LUMIVANTA_REDIS_PASSWORD"),
      Number(
          "--redis-ttl", "SECONDS", Group::kRedis,
          "how long Redis keeps a name's newest picture after\nits upload (default {default})", 30 * kMaxSeconds, 1,
          [](ServerOptions & o) -> auto& { return o.redis_ttl; }),

      Number(
          "--max-names", "N", Group::kLimits, "names kept (default {default})", kMaxCount, 1,
          [](ServerOptions & o) -> auto& { return o.store_limits.max_names; }),
      Number(
          "--max-store-mib", "N", Group::kLimits, "MiB of pictures kept (default {default})", kMaxMebibytes, kMebibyte,
          [](ServerOptions & o) -> auto& { return o.store_limits.max_picture_bytes; }),
      Number(
          "--max-body-mib", "N", Group::kLimits, "MiB of one request body (default {default})", kMaxMebibytes,
          kMebibyte, [](ServerOptions & o) -> auto& { return o.request_limits.max_body_bytes; }),
      Number(
          "--max-bodies-in-flight-mib", "N", Group::kLimits,
          "MiB of request bodies received at once (default {default})", kMaxMebibytes, kMebibyte,
          [](ServerOptions & o) -> auto& { return o.request_limits.max_bodies_in_flight_bytes; }),
      Number(
          "--max-header-kib", "N", Group::kLimits, "KiB of one request's header (default {default})", kMaxMebibytes,
          kKibibyte, [](ServerOptions & o) -> auto& { return o.request_limits.max_header_bytes; }),
      Number(
          "--max-connections", "N", Group::kLimits, "open connections (default {default})", kMaxCount, 1,
          [](ServerOptions & o) -> auto& { return o.request_limits.max_connections; }),
      Number(
          "--event-stream-share", "PERCENT", Group::kLimits,
          "of those, the share event streams may hold (default {default})", kWhole, 1,
          [](ServerOptions & o) -> auto& { return o.request_limits.event_stream_percent; }),
      Number(
          "--header-timeout", "SECONDS", Group::kLimits, "time for a whole request header (default {default} s)",
          kMaxSeconds, 1, [](ServerOptions & o) -> auto& { return o.request_limits.header_timeout; }),
      Number(
          "--body-timeout", "SECONDS", Group::kLimits, "time for a whole body or answer (default {default} s)",
          kMaxSeconds, 1, [](ServerOptions & o) -> auto& { return o.request_limits.body_timeout; }),
      Number(
          "--min-body-rate-kib", "N", Group::kLimits,
          "KiB per second a body must keep, averaged over " + std::to_string(kBodyRateWindow.count()) +
              " s\n(default {default})",
          kMaxMebibytes, kKibibyte,
          [](ServerOptions & o) -> auto& { return o.request_limits.min_body_bytes_per_second; }),
  };
  return options;
}

const std::vector<Option>& Options() {
  static const std::vector<Option> options = MakeOptions();
  return options;
}

// The option's lines in the usage text, its help starting at the column.
std::string UsageLines(const Option& option, std::size_t column) {
  std::string lines = "  " + std::string(option.name);
  if (!option.value.empty()) {
    lines += ' ';
    lines += option.value;
  }
  lines.resize(std::max(lines.size() + 2, column), ' ');
  std::string help = option.help;
  if (const std::size_t at = help.find("{default}"); at != std::string::npos) {
    help.replace(at, std::string_view("{default}").size(), option.default_text);
  }
  for (std::size_t start = 0; start < help.size();) {
    const std::size_t end = std::min(help.find('\n', start), help.size());
    if (start > 0) {
      lines.append(column, ' ');
    }
    lines.append(help, start, end - start);
    lines += '\n';
    start = end + 1;
  }
  return lines;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  Reading reading;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string_view name = arguments[index];
    std::optional<std::string_view> value;
    if (const std::size_t equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    const auto option = std::ranges::find(Options(), name, &Option::name);
    if (option == Options().end()) {
      return Failure("unknown option '" + std::string(name) + "'");
    }
    const bool takes_value = !option->value.empty();
    if (takes_value && !value) {
      if (index + 1 == arguments.size()) {
        return Failure(std::string(name) + " needs a value");
      }
      value = arguments[++index];
    } else if (!takes_value && value) {
      return Failure(std::string(name) + " takes no value");
    }
    std::uint64_t number = 0;
    if (option->max != 0 && !ParseCount(*value, option->max, option->unit, number)) {
      return Failure(std::string(name) + " needs a whole number above 0 in range, not '" + std::string(*value) + "'");
    }
    if (std::string refusal = option->take(value.value_or(""), number, reading); !refusal.empty()) {
      return Failure(std::move(refusal));
    }
  }
  CommandLine& result = reading.command_line;
  if (result.options.redis) {
    result.options.redis->user = reading.redis_user;
  }
  if (result.options.redis && result.options.store_directory) {
    return Failure("--store and --redis exclude each other: pictures are kept in one place");
  }
  if (!result.options.redis && (!reading.redis_user.empty() || result.options.redis_password_file)) {
    return Failure("--redis-user and --redis-password-file need --redis");
  }
  const RequestLimits& requests = result.options.request_limits;
  if (requests.max_body_bytes > requests.max_bodies_in_flight_bytes) {
    return Failure("--max-body-mib must not exceed --max-bodies-in-flight-mib");
  }
  return result;
}

std::vector<ListedOption> ListedOptions() {
  std::vector<ListedOption> listed;
  for (const GroupText& group : kGroupTexts) {
    for (const Option& option : Options()) {
      if (option.group == group.group) {
        listed.push_back({option.name, option.value});
      }
    }
  }
  return listed;
}

std::string UsageText() {
  const StoreLimits store;
  const RequestLimits requests;
  const auto mib = [](std::size_t bytes) { return std::to_string(bytes / kMebibyte); };
  std::string text =
      "Usage: lumivanta-server [--listen ADDRESS:PORT] [--store DIR | --redis URL] [--verbose] [KEYS] [LIMITS]\n"
      "       lumivanta-server --new-key\n"
      "\n"
      "Receives the pictures Lumivanta uploads and shows them on a viewer page.\n";
  for (const GroupText& group : kGroupTexts) {
    text += '\n';
    if (!group.heading.empty()) {
      text.append(group.heading) += '\n';
    }
    for (const Option& option : Options()) {
      if (option.group == group.group) {
        text += UsageLines(option, group.help_column);
      }
    }
    text += group.footer;
  }
  return text +
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
