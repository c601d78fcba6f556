#pragma once

// Which kind of desktop session the program runs in, read from the
// environment the session gives its programs.

namespace lumivanta {

// A Wayland session: WAYLAND_DISPLAY is set, or XDG_SESSION_TYPE says wayland.
bool IsWaylandSession(const char* wayland_display, const char* session_type);
bool IsWaylandSession();

// Before the application object exists: in a Wayland session, and unless
// QT_QPA_PLATFORM already chooses, Qt runs as a native Wayland client (with
// X11 as the fallback where no Wayland display answers).
void PreferNativeWayland();

}  // namespace lumivanta
