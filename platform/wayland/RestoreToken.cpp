#include "platform/wayland/RestoreToken.h"

#include <fstream>
#include <system_error>

#include "base/StateFiles.h"

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

std::filesystem::path RestoreTokenFile() { return StateFile("screencast-restore-token"); }

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
  return WriteStateFile(file, token + '\n');
}

}  // namespace lumivanta
