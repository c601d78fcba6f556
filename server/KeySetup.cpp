#include "server/KeySetup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/ip/address.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/UniqueFd.h"
#include "server/FileKind.h"

namespace lumivanta::server {

namespace {

// Far more than any key; a longer file is not a key file.
constexpr std::size_t kMaxKeyFileBytes = 4096;
constexpr std::string_view kWhiteSpace = " \t\r\n";

struct KeyKind {
  std::string_view name;  // "upload", "view" or "Redis password"
  std::string_view option;
  const char* credential;
  const char* variable;
  // A password may be any one line of text; a key has its own form.
  bool any_text = false;
};

constexpr KeyKind kUploadKind{"upload", "--upload-key-file", "upload-key", kUploadKeyVariable};
constexpr KeyKind kViewKind{"view", "--view-key-file", "view-key", kViewKeyVariable};
constexpr KeyKind kRedisPasswordKind{"Redis password", "--redis-password-file", "redis-password",
                                     kRedisPasswordVariable, true};

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

bool IsWellFormed(std::string_view key, const KeyKind& kind) {
  if (kind.any_text) {
    return !key.empty() && key.find_first_of("\r\n") == std::string_view::npos;
  }
  return IsWellFormedKey(key);
}

std::string KeyRule(const KeyKind& kind) {
  if (kind.any_text) {
    return "the " + std::string(kind.name) + " must be one line of text";
  }
  return "the " + std::string(kind.name) + " key must be " + std::to_string(kMinKeyLength) + " to " +
         std::to_string(kMaxKeyLength) + " characters from A-Z a-z 0-9 _ - (lumivanta-server --new-key makes one)";
}

// The key in the file, or nullopt with the reason in error. Only a file that
// no one but its owner may read or change is taken, where asked.
std::optional<std::string> ReadKeyFile(const std::filesystem::path& file, const KeyKind& kind, bool owner_only,
                                       std::string& error) {
  const std::string name = file.string();
  // Opening a named pipe or a device must not wait for a writer; only a regular file is read.
  const UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status = {};
  if (!fd.IsValid() || ::fstat(fd.Get(), &status) != 0) {
    error = "cannot read the " + std::string(kind.name) + " key file " + name + ": " + std::strerror(errno);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) {
    error = "the " + std::string(kind.name) + " key file " + name + " is not a regular file but " +
            FileKind(status.st_mode);
    return std::nullopt;
  }
  if (owner_only && (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    error = "the " + std::string(kind.name) + " key file " + name +
            " may be read or changed by other users; allow only its owner: chmod 600 " + name;
    return std::nullopt;
  }
  std::string content(kMaxKeyFileBytes + 1, '\0');
  std::size_t filled = 0;
  while (filled < content.size()) {
    const ssize_t got = ::read(fd.Get(), content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      error = "cannot read the " + std::string(kind.name) + " key file " + name + ": " + std::strerror(errno);
      return std::nullopt;
    }
    if (got == 0) {
      break;
    }
    filled += static_cast<std::size_t>(got);
  }
  const std::string_view key = Trimmed(std::string_view(content).substr(0, filled));
  if (filled > kMaxKeyFileBytes || !IsWellFormed(key, kind)) {
    error = "in " + name + ": " + KeyRule(kind);
    return std::nullopt;
  }
  return std::string(key);
}

std::optional<std::string> LoadKey(const std::optional<std::filesystem::path>& file, const KeyKind& kind,
                                   const std::function<const char*(const char*)>& environment, std::string& error) {
  if (file) {
    return ReadKeyFile(*file, kind, true, error);
  }
  if (const char* credentials = environment("CREDENTIALS_DIRECTORY"); credentials != nullptr && *credentials != '\0') {
    const std::filesystem::path credential = std::filesystem::path(credentials) / kind.credential;
    // The service manager keeps credentials where only the service can read
    // them, and may grant that through an access list that shows as group bits.
    std::error_code ignored;
    if (std::filesystem::exists(credential, ignored)) {
      return ReadKeyFile(credential, kind, false, error);
    }
  }
  const char* variable = environment(kind.variable);
  if (variable == nullptr || *variable == '\0') {
    return std::nullopt;
  }
  const std::string_view key = Trimmed(variable);
  if (!IsWellFormed(key, kind)) {
    error = "in " + std::string(kind.variable) + ": " + KeyRule(kind);
    return std::nullopt;
  }
  return std::string(key);
}

}  // namespace

KeySetup LoadAccessKeys(const ServerOptions& options, const std::function<const char*(const char*)>& environment) {
  KeySetup setup;
  setup.keys.upload_key = LoadKey(options.upload_key_file, kUploadKind, environment, setup.error);
  if (setup.error.empty()) {
    setup.keys.view_key = LoadKey(options.view_key_file, kViewKind, environment, setup.error);
  }
  if (setup.error.empty() && options.redis) {
    setup.redis_password =
        LoadKey(options.redis_password_file, kRedisPasswordKind, environment, setup.error).value_or("");
  }
  return setup;
}

KeySetup LoadAccessKeys(const ServerOptions& options) {
  return LoadAccessKeys(options, [](const char* name) -> const char* { return std::getenv(name); });
}

bool IsLoopbackHost(std::string_view host) {
  if (host == "localhost") {
    return true;
  }
  boost::system::error_code error;
  const boost::asio::ip::address address = boost::asio::ip::make_address(host, error);
  return !error && address.is_loopback();
}

std::string RefusalToStart(const ServerOptions& options, const AccessKeys& keys) {
  if (keys.upload_key && keys.view_key && SameKey(*keys.view_key, *keys.upload_key)) {
    return "the view key must differ from the upload key, since anyone who may view would then also upload";
  }
  if (keys.upload_key || options.public_uploads || IsLoopbackHost(options.host)) {
    return {};
  }
  const std::string port = std::to_string(options.port == 0 ? 8080 : options.port);
  const std::string host = options.host.find(':') == std::string::npos ? options.host : "[" + options.host + "]";
  return "listening on " + host +
         " without an upload key would let anyone upload and delete pictures.\n"
         "Make a key and give it in a file that only you may read:\n"
         "  (umask 077; lumivanta-server --new-key > upload-key)\n"
         "  lumivanta-server --listen " +
         host + ":" + port +
         " --upload-key-file upload-key\n"
         "or in the environment variable " +
         std::string(kUploadKeyVariable) + ", then enter http://HOST:" + port +
         "/u/KEY/ as Lumivanta's server URL.\n"
         "To accept uploads from anyone instead, add --public.";
}

}  // namespace lumivanta::server
