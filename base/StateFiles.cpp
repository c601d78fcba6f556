#include "base/StateFiles.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace lumivanta {

std::filesystem::path StateFile(const std::string& name) {
  std::filesystem::path state;
  if (const char* xdg_state = std::getenv("XDG_STATE_HOME"); xdg_state != nullptr && xdg_state[0] == '/') {
    state = xdg_state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    state = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return state / "lumivanta" / name;
}

bool WriteStateFile(const std::filesystem::path& file, const std::string& text) {
  if (file.empty()) {
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  const std::filesystem::path written = file.string() + ".new";
  {
    std::ofstream out(written, std::ios::trunc);
    out << text;
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
