#pragma once

// Headless GNOME (mutter, no shell) and KDE Plasma (KWin) sessions for
// tests, started and ended as WaylandSession runs sway, with the portal's
// own backend of each. A test cannot set their background, so a full-screen
// test window (wayland/TestScreen.cpp) shows what it asks for; the
// program's windows, and GNOME's consent dialog, are found and pressed
// through AT-SPI. What the screen shows comes from mutter's own screen cast
// on GNOME, and is the picture the test window was given on KDE.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/WaylandSession.h"

namespace lumivanta::test {

// The tools a session of the desktop needs, by name: empty when all are
// there, otherwise the first one missing (for GTEST_SKIP).
std::string MissingDesktopTool(Desktop desktop);

// A whole output in one colour given as #rrggbb.
OwnedScreen SolidScreen(const std::string& colour, std::uint32_t width = 1920, std::uint32_t height = 1080);

class WindowedSession : public WaylandSession {
 public:
  void ShowColour(const std::string& colour) override;
  void ShowPicture(const std::string& png) override;
  // The picture the test window shows, which covers the whole output.
  OwnedScreen Screen(const std::string&) override { return shown_; }
  bool WaitWindow(const std::string& title, bool present, std::chrono::milliseconds timeout) const override;
  void Confirm(const std::string& title) const override;

  // Runs the AT-SPI tool (wayland/atspi.py) in the session; false when it fails.
  bool AtSpi(const std::vector<std::string>& arguments) const;

 protected:
  WindowedSession(Desktop desktop, const std::vector<std::string>& screen_arguments);

  // Gives the test window a command and waits for its answer.
  void Tell(const std::string& command, const std::string& answer);

  // Writes a grant for the restore token into the portal's permission
  // store, and the token where the program keeps it.
  void Grant(const std::string& data);

  ChildProcess screen_;
  OwnedScreen shown_;
};

class GnomeSession : public WindowedSession {
 public:
  GnomeSession();

  // GNOME's grant names the virtual monitor by vendor, product and serial.
  void AllowScreenCast() override;
  // What mutter shows, from its own screen cast (no consent, no pointer).
  OwnedScreen Screen(const std::string& name) override;
  void MovePointer(int x, int y) { Tell("pointer " + std::to_string(x) + " " + std::to_string(y), "moved"); }
  // Answers the portal's "Screen Share" dialog: the monitor picked and Share, or Cancel.
  bool AnswerConsent(bool share) const;
};

class KdeSession : public WindowedSession {
 public:
  KdeSession();

  // KDE's grant is a Qt data stream of the output list: {"outputs": ["0x0"]},
  // the output named by its place.
  void AllowScreenCast() override;
  // Presses keys, given as evdev codes, through KWin's fake input (held in order, then let go).
  void PressKeys(const std::vector<std::string>& codes) const;
};

// A session of the desktop with its usual parts.
std::unique_ptr<WaylandSession> MakeWaylandSession(Desktop desktop);

}  // namespace lumivanta::test
