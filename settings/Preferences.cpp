#include "settings/Preferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

#include "base/UniqueFd.h"
#include "settings/FileReplacement.h"
#include "settings/TextRules.h"
#include "settings/ViewerAddress.h"

namespace lumivanta {
namespace {

constexpr std::string_view kFileInConfigHome = "lumivanta/preferences";
constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;
constexpr std::size_t kReadLimitBytes = 1 << 20;

// The on/off preferences and their keys in the file.
struct SwitchPreference {
  std::string_view key;
  bool Preferences::*member;
};

constexpr std::array<SwitchPreference, 3> kSwitches{{
    {"global-hotkeys", &Preferences::global_hotkeys},
    {"notifications", &Preferences::notifications},
    {"notification-hold", &Preferences::hold_notifications},
}};

// A line that sets a preference: which one (an index into kSwitches) and to what.
struct Setting {
  std::size_t index;
  bool value;
};

bool IsAbsolutePath(const char* path) { return path != nullptr && path[0] == '/'; }

std::string JoinPath(std::string_view directory, std::string_view tail) {
  while (directory.ends_with('/')) {
    directory.remove_suffix(1);
  }
  std::string path(directory);
  path += '/';
  path += tail;
  return path;
}

// "on", "true", "yes" and "1" or "off", "false", "no" and "0", in any case.
std::optional<bool> ParseSwitch(std::string_view value) {
  std::string lower(value);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  if (lower == "on" || lower == "true" || lower == "yes" || lower == "1") {
    return true;
  }
  if (lower == "off" || lower == "false" || lower == "no" || lower == "0") {
    return false;
  }
  return std::nullopt;
}

// What a line sets; nothing for blank lines, comments, unknown keys and
// values that do not fit their key.
std::optional<Setting> ParseLine(std::string_view line) {
  line = TrimWhiteSpace(line);
  const std::size_t equals = line.find('=');
  if (line.empty() || line.front() == '#' || equals == std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view key = TrimWhiteSpace(line.substr(0, equals));
  for (std::size_t index = 0; index < kSwitches.size(); ++index) {
    if (kSwitches[index].key == key) {
      const std::optional<bool> value = ParseSwitch(TrimWhiteSpace(line.substr(equals + 1)));
      return value ? std::optional<Setting>(Setting{index, *value}) : std::nullopt;
    }
  }
  return std::nullopt;
}

// The viewer key a "viewer-key=KEY" line sets; nothing for other lines and
// for a key the server would not take. The program never changes it, so the
// line is written back as it was.
std::optional<std::string> ViewerKeyOf(std::string_view line) {
  constexpr std::string_view kViewerKey = "viewer-key";
  line = TrimWhiteSpace(line);
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || TrimWhiteSpace(line.substr(0, equals)) != kViewerKey) {
    return std::nullopt;
  }
  const std::string_view key = TrimWhiteSpace(line.substr(equals + 1));
  return IsViewKey(key) ? std::optional<std::string>(key) : std::nullopt;
}

std::string SettingLine(const SwitchPreference& preference, bool value) {
  return std::string(preference.key) + (value ? "=on" : "=off");
}

enum class ReadResult { kRead, kMissing, kFailed };

// The whole of a regular file of at most kReadLimitBytes.
ReadResult ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  // Non-blocking, so that a FIFO in place of the file cannot stall the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const int open_error = errno;
  const UniqueFd file(fd);
  if (!file.IsValid()) {
    return open_error == ENOENT || open_error == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  }
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return ReadResult::kFailed;
  }
  std::array<char, 4096> chunk{};
  while (true) {
    const ssize_t got = ::read(file.Get(), chunk.data(), chunk.size());
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return ReadResult::kFailed;
    }
    if (got == 0) {
      return ReadResult::kRead;
    }
    text.append(chunk.data(), static_cast<std::size_t>(got));
    if (text.size() > kReadLimitBytes) {
      return ReadResult::kFailed;
    }
  }
}

// Creates directory and whichever of its parents are missing, each with mode 0700.
bool MakeDirectories(const std::filesystem::path& directory) {
  if (directory.empty()) {
    return true;  // the current directory
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) == 0) {
    return S_ISDIR(info.st_mode);
  }
  if (errno != ENOENT) {
    return false;
  }
  const std::filesystem::path parent = directory.parent_path();
  if (parent != directory && !MakeDirectories(parent)) {
    return false;
  }
  if (::mkdir(directory.c_str(), kDirectoryMode) == 0) {
    return true;
  }
  // Another process may have made it meanwhile.
  return errno == EEXIST && ::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string PreferencesPathFor(const char* xdg_config_home, const char* home) {
  if (IsAbsolutePath(xdg_config_home)) {
    return JoinPath(xdg_config_home, kFileInConfigHome);
  }
  if (IsAbsolutePath(home)) {
    return JoinPath(JoinPath(home, ".config"), kFileInConfigHome);
  }
  return {};
}

std::string PreferencesPath() { return PreferencesPathFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")); }

Preferences::Preferences() : Preferences(PreferencesPath()) {}

Preferences::Preferences(std::string path) : path_(std::move(path)) {}

bool Preferences::Load() {
  const Preferences defaults{std::string()};
  for (const SwitchPreference& preference : kSwitches) {
    this->*preference.member = defaults.*preference.member;
  }
  viewer_key.clear();
  lines_.clear();
  if (path_.empty()) {
    return true;  // no home: nothing can have been saved
  }
  std::string text;
  const ReadResult result = ReadWholeFile(path_, text);
  if (result != ReadResult::kRead) {
    return result == ReadResult::kMissing;
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& line : lines_) {
    if (const std::optional<Setting> setting = ParseLine(line)) {
      this->*kSwitches[setting->index].member = setting->value;
    } else if (std::optional<std::string> key = ViewerKeyOf(line)) {
      viewer_key = std::move(*key);
    }
  }
  return true;
}

bool Preferences::Save() const {
  if (path_.empty() || !MakeDirectories(std::filesystem::path(path_).parent_path())) {
    return false;
  }
  std::string text;
  std::array<bool, kSwitches.size()> written{};
  for (const std::string& line : lines_) {
    const std::optional<Setting> setting = ParseLine(line);
    if (setting && setting->value != this->*kSwitches[setting->index].member) {
      const SwitchPreference& preference = kSwitches[setting->index];
      text += SettingLine(preference, this->*preference.member);
    } else {
      text += line;  // unchanged, or not understood: as it was
    }
    if (setting) {
      written[setting->index] = true;
    }
    text += '\n';
  }
  for (std::size_t index = 0; index < kSwitches.size(); ++index) {
    if (!written[index]) {
      text += SettingLine(kSwitches[index], this->*kSwitches[index].member);
      text += '\n';
    }
  }
  return ReplaceFileWithText(path_, text, kFileMode);
}

}  // namespace lumivanta
