#include "tests/support/DesktopServices.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "tests/support/X11Scene.h"

namespace lumivanta::test {

TrayHost::TrayHost(Display* display, const std::string& display_name)
    : display_(display), host_({LUMIVANTA_TRAY_HOST_PROGRAM}, false, {}, {"DISPLAY=" + display_name}) {
  const Atom selection = XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False);
  if (!WaitUntil([&] { return XGetSelectionOwner(display_, selection) != None; }, kDesktopServiceStartTimeout)) {
    throw std::runtime_error("the tray host took no tray selection");
  }
}

std::optional<Window> TrayHost::WaitForIcon(std::chrono::milliseconds timeout) const {
  std::optional<Window> icon;
  WaitUntil(
      [&] {
        icon = FindEmbedded(DefaultRootWindow(display_), ManagedWindows());
        return icon.has_value();
      },
      timeout);
  return icon;
}

ScreenRect TrayHost::Rect(Window window) const {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window, &attributes);
  ScreenRect rect{0, 0, attributes.width, attributes.height};
  Window child = None;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rect.x, &rect.y, &child);
  return rect;
}

double TrayHost::RedShare(Window window) const {
  return ColourShare(display_, window, [](auto r, auto g, auto b) { return r > 180 && g < 100 && b < 100; });
}

double TrayHost::AmberShare(Window window) const {
  return ColourShare(display_, window, [](auto r, auto g, auto b) { return r > 200 && g > 130 && g < 200 && b < 60; });
}

std::optional<Window> TrayHost::WaitForPopupMenu(const std::string& program_class,
                                                 std::chrono::milliseconds timeout) const {
  std::optional<Window> menu;
  WaitUntil(
      [&] {
        menu = FindPopup(program_class);
        return menu.has_value();
      },
      timeout);
  return menu;
}

std::vector<Window> TrayHost::Children(Window window) const {
  Window root = None;
  Window parent = None;
  Window* children = nullptr;
  unsigned count = 0;
  std::vector<Window> result;
  if (XQueryTree(display_, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
    result.assign(children, children + count);
    XFree(children);
  }
  return result;
}

bool TrayHost::IsMapped(Window window) const {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display_, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

std::vector<Window> TrayHost::ManagedWindows() const {
  return WindowListProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_CLIENT_LIST", False));
}

std::optional<Window> TrayHost::FindEmbedded(Window window, const std::vector<Window>& managed) const {
  const Atom xembed_info = XInternAtom(display_, "_XEMBED_INFO", False);
  for (const Window child : Children(window)) {
    if (std::find(managed.begin(), managed.end(), child) != managed.end()) {
      continue;
    }
    int count = 0;
    Atom* properties = XListProperties(display_, child, &count);
    bool embedded = false;
    for (int i = 0; i < count; ++i) {
      embedded = embedded || properties[i] == xembed_info;
    }
    if (properties != nullptr) {
      XFree(properties);
    }
    if (embedded && IsMapped(child)) {
      return child;
    }
    if (const std::optional<Window> below = FindEmbedded(child, managed)) {
      return below;
    }
  }
  return std::nullopt;
}

std::optional<Window> TrayHost::FindPopup(const std::string& program_class) const {
  for (const Window window : Children(DefaultRootWindow(display_))) {
    XWindowAttributes attributes{};
    XClassHint hint{};
    if (XGetWindowAttributes(display_, window, &attributes) == 0 || attributes.map_state != IsViewable ||
        !attributes.override_redirect || XGetClassHint(display_, window, &hint) == 0) {
      continue;
    }
    const bool ours = hint.res_name != nullptr && program_class == hint.res_name;
    XFree(hint.res_name);
    XFree(hint.res_class);
    if (ours) {
      return window;
    }
  }
  return std::nullopt;
}

NotificationServer::NotificationServer(const std::string& display_name, const std::string& bus_address)
    : bus_address_(bus_address),
      server_(Arguments(directory_), false, {},
              {"DISPLAY=" + display_name, "DBUS_SESSION_BUS_ADDRESS=" + bus_address, "WAYLAND_DISPLAY"}) {
  const auto owned = [&] {
    ChildProcess asked({LUMIVANTA_DBUS_SEND_PROGRAM, "--print-reply", "--dest=org.freedesktop.DBus", "/",
                        "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.Notifications"},
                       true, {}, {"DBUS_SESSION_BUS_ADDRESS=" + bus_address});
    return asked.WaitForExit(std::chrono::seconds(5)).out.find("boolean true") != std::string::npos;
  };
  if (!WaitUntil(owned, kDesktopServiceStartTimeout)) {
    throw std::runtime_error("the notification server took no name on the bus");
  }
}

std::vector<ShownNotification> NotificationServer::Shown() const {
  std::vector<ShownNotification> shown;
  std::ifstream file(directory_.File("shown"));
  ShownNotification one;
  // The recording script writes four lines per notification.
  while (std::getline(file, one.app_name) && std::getline(file, one.summary) && std::getline(file, one.body) &&
         std::getline(file, one.id)) {
    shown.push_back(one);
  }
  return shown;
}

bool NotificationServer::Paused() const {
  ChildProcess asked({LUMIVANTA_DBUS_SEND_PROGRAM, "--print-reply", "--dest=org.freedesktop.Notifications",
                      "/org/freedesktop/Notifications", "org.freedesktop.DBus.Properties.Get",
                      "string:org.dunstproject.cmd0", "string:paused"},
                     true, {}, {"DBUS_SESSION_BUS_ADDRESS=" + bus_address_});
  return asked.WaitForExit(std::chrono::seconds(5)).out.find("boolean true") != std::string::npos;
}

void NotificationServer::Send(const std::string& summary, const std::string& body) const {
  ChildProcess sender({LUMIVANTA_NOTIFY_PROGRAM, "-a", "Chat", summary, body}, true, {},
                      {"DBUS_SESSION_BUS_ADDRESS=" + bus_address_});
  if (sender.WaitForExit(std::chrono::seconds(10)).exit_code != 0) {
    throw std::runtime_error("the notification could not be sent");
  }
}

bool NotificationServer::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Shown().size() >= count; }, timeout);
}

std::vector<std::string> NotificationServer::Arguments(const TempDir& directory) {
  const std::string script = directory.File("record.sh");
  {
    std::ofstream out(script);
    // Arguments: application, summary, body, icon, urgency. Line breaks in a body become spaces.
    out << "#!/bin/sh\n"
           "body=$(printf '%s' \"$3\" | tr '\\n' ' ')\n"
           "printf '%s\\n%s\\n%s\\n%s\\n' \"$1\" \"$2\" \"$body\" \"$DUNST_ID\" >> '"
        << directory.File("shown") << "'\n";
  }
  ::chmod(script.c_str(), 0700);
  const std::string configuration = directory.File("dunstrc");
  {
    std::ofstream out(configuration);
    out << "[global]\n"
           "    font = Monospace 30\n"
           "    width = 600\n"
           "    padding = 60\n"
           "    frame_width = 0\n"
           "[urgency_normal]\n"
           "    background = \"#ff00ff\"\n"
           "    foreground = \"#ff00ff\"\n"
           "[record]\n"
           "    summary = \"*\"\n"
           "    script = "
        << script << "\n";
  }
  return {LUMIVANTA_NOTIFICATION_SERVER_PROGRAM, "-config", configuration};
}

}  // namespace lumivanta::test
