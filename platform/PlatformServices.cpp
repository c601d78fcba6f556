#include "platform/PlatformServices.h"

#include <QGuiApplication>

#include "platform/x11/X11GlobalHotkeys.h"
#include "platform/x11/X11ScreenSource.h"

namespace lumivanta {
namespace {

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace

std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys() {
  if (OnX11()) {
    return std::make_unique<X11GlobalHotkeys>();
  }
  return std::make_unique<NoGlobalHotkeys>();
}

std::unique_ptr<ScreenSource> MakeScreenSource() {
  if (OnX11()) {
    return std::make_unique<X11ScreenSource>();
  }
  return nullptr;
}

}  // namespace lumivanta
