#include "platform/PlatformServices.h"

#include <QGuiApplication>

#include "platform/DesktopSession.h"
#include "platform/wayland/PortalGlobalHotkeys.h"
#include "platform/wayland/PortalScreenSource.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11ScreenSource.h"

namespace lumivanta {
namespace {

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace

// In a Wayland session the hotkeys come from the desktop portal, where it
// offers them: an X11 client of a Wayland desktop receives no keys of others.
std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys() {
  if (IsWaylandSession()) {
    return std::make_unique<PortalGlobalHotkeys>();
  }
  if (OnX11()) {
    return std::make_unique<X11GlobalHotkeys>();
  }
  return std::make_unique<NoGlobalHotkeys>();
}

// In a Wayland session the screen comes from the desktop portal, also for a
// program that Qt runs on X11: an X11 client of a Wayland desktop sees only
// the X11 windows.
std::unique_ptr<ScreenSource> MakeScreenSource() {
  if (IsWaylandSession()) {
    return std::make_unique<PortalScreenSource>();
  }
  if (OnX11()) {
    return std::make_unique<X11ScreenSource>();
  }
  return nullptr;
}

}  // namespace lumivanta
