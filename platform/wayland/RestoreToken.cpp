#include "platform/wayland/RestoreToken.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace lumivanta {
namespace {

// A token is a short printable word; anything else in the file is not one.
bool LooksLikeToken(const std::string& text) {
  if (text.empty() || text.size() > 256) {
    return false;
  }
  for (const char c : text) {
    if (c <= ' ' || c > '~') {
      return false;
    }
  }
  return true;
}

}  // namespace

std::filesystem::path RestoreTokenFile() {
  std::filesystem::path state;
  if (const char* xdg_state = std::getenv("XDG_STATE_HOME"); xdg_state != nullptr && xdg_state[0] == '/') {
    state = xdg_state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    state = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return state / "lumivanta" / "screencast-restore-token";
}

std::string LoadRestoreToken(const std::filesystem::path& file) {
  if (file.empty()) {
    return {};
  }
  std::ifstream in(file);
  std::string token;
  std::getline(in, token);
  return LooksLikeToken(token) ? token : std::string();
}

bool SaveRestoreToken(const std::filesystem::path& file, const std::string& token) {
  if (file.empty()) {
    return false;
  }
  std::error_code error;
  if (token.empty()) {
    std::filesystem::remove(file, error);
    return !error;
  }
  if (!LooksLikeToken(token)) {
    return false;
  }
  std::filesystem::create_directories(file.parent_path(), error);
  // Written beside and renamed over, so that a run that ends midway leaves the old token.
  const std::filesystem::path written = file.string() + ".new";
  {
    std::ofstream out(written, std::ios::trunc);
    out << token << '\n';
    if (!out.flush()) {
      return false;
    }
  }
  std::filesystem::permissions(written, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               error);
  std::filesystem::rename(written, file, error);
  return !error;
}

}  // namespace lumivanta
