#include "platform/DesktopSession.h"

#include <cstdlib>
#include <cstring>

namespace lumivanta {

bool IsWaylandSession(const char* wayland_display, const char* session_type) {
  return (wayland_display != nullptr && wayland_display[0] != '\0') ||
         (session_type != nullptr && std::strcmp(session_type, "wayland") == 0);
}

bool IsWaylandSession() { return IsWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE")); }

void PreferNativeWayland() {
  const char* chosen = std::getenv("QT_QPA_PLATFORM");
  if (IsWaylandSession() && (chosen == nullptr || chosen[0] == '\0')) {
    setenv("QT_QPA_PLATFORM", "wayland;xcb", 1);
  }
}

}  // namespace lumivanta
