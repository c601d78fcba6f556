#pragma once

// The desktop's own services that a program meets beside its window, real and
// private to one test: a system tray (wmdocker, an XEmbed tray host) on a
// private X server, the tray icon embedded in it and its pixels; and a
// notification server (dunst) on a private session bus, which records every
// notification it shows and draws its pop-ups in a colour of their own.
// Everything started here is ended by its PID.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

inline constexpr auto kDesktopServiceStartTimeout = std::chrono::seconds(20);

// Polls until ready() or the time-out; the last answer.
template <typename Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

// The share of the window's pixels, from 0 to 1, whose red, green and blue
// the predicate accepts.
template <typename Predicate>
double ColourShare(Display* display, Window window, Predicate accepts) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) {
    return 0;
  }
  long count = 0;
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      count += accepts((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff) ? 1 : 0;
    }
  }
  XDestroyImage(image);
  const long all = static_cast<long>(attributes.width) * attributes.height;
  return all > 0 ? static_cast<double>(count) / static_cast<double>(all) : 0;
}

// Where a window stands on the screen, and its size.
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int CentreX() const { return x + width / 2; }
  int CentreY() const { return y + height / 2; }
};

// A system tray on the display: it owns the tray selection of screen 0 once started.
class TrayHost {
 public:
  TrayHost(Display* display, const std::string& display_name);

  // The icon embedded in the tray, once it is shown: the window that speaks
  // XEmbed and is not one of the window manager's clients (Qt marks its
  // top-level windows for XEmbed too).
  std::optional<Window> WaitForIcon(std::chrono::milliseconds timeout) const;

  ScreenRect Rect(Window window) const;

  // The share of the window's pixels that are plainly red, or amber, from 0 to 1.
  double RedShare(Window window) const;
  double AmberShare(Window window) const;

  // A popup menu shown by a program of this class (override-redirect, so no window manager lists it).
  std::optional<Window> WaitForPopupMenu(const std::string& program_class, std::chrono::milliseconds timeout) const;

 private:
  std::vector<Window> Children(Window window) const;

  bool IsMapped(Window window) const;

  std::vector<Window> ManagedWindows() const;

  std::optional<Window> FindEmbedded(Window window, const std::vector<Window>& managed) const;

  std::optional<Window> FindPopup(const std::string& program_class) const;

  Display* display_;
  ChildProcess host_;
};

// One notification as the server showed it, with the server's number for it.
struct ShownNotification {
  std::string app_name;
  std::string summary;
  std::string body;
  std::string id;
};

// The colour the notification server draws its pop-ups in, text and all:
// magenta, which the test screen nowhere shows.
inline bool IsPopUpColour(unsigned r, unsigned g, unsigned b) { return r > 200 && g < 80 && b > 200; }

// A notification server on the display and the session bus at bus_address:
// it owns org.freedesktop.Notifications once started, and a rule of its
// configuration records every notification in a file.
class NotificationServer {
 public:
  NotificationServer(const std::string& display_name, const std::string& bus_address);

  // Every notification shown so far, oldest first.
  std::vector<ShownNotification> Shown() const;

  // Whether the server's pop-ups are paused (held back), as it answers on the bus.
  bool Paused() const;

  // Sends a notification as another program of the desktop would.
  void Send(const std::string& summary, const std::string& body) const;

  bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  static std::vector<std::string> Arguments(const TempDir& directory);

  TempDir directory_;
  std::string bus_address_;
  ChildProcess server_;
};

}  // namespace lumivanta::test
