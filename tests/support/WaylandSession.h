#pragma once

// A private headless Wayland session for tests: sway on a 1920x1080
// output (as an unprivileged user, since sway refuses root), PipeWire with
// WirePlumber, the desktop portal with its wlr backend, all on a D-Bus
// session bus of their own, in a process session of their own whose
// processes are ended by PID when the object goes away. The bus also lets in
// sway's user, so that commands of sway's key bindings reach programs on it.
// Nothing of the machine's display, bus, home or runtime directory is used.
// GnomeKdeSession.h runs the other desktops the same way, and
// override what a test does to the screen and sees of it.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

inline constexpr auto kWaylandSessionStartTimeout = std::chrono::seconds(30);
inline constexpr auto kWaylandToolTimeout = std::chrono::seconds(20);

// The tools a Wayland session needs, by name: empty when all are there,
// otherwise the first one missing (for GTEST_SKIP).
std::string MissingWaylandTool();

// What the tests' GlobalShortcuts backend needs: empty when it is there.
std::string MissingShortcutsBackendTool();

enum class Desktop { kSway, kGnome, kKde };

struct WaylandSessionOptions {
  Desktop desktop = Desktop::kSway;
  // Whether the portal's ScreenCast backend runs.
  bool screencast = true;
  // Whether the portal offers GlobalShortcuts, through the tests' own backend.
  bool global_shortcuts = false;
};

class WaylandSession {
 public:
  explicit WaylandSession(const WaylandSessionOptions& options = {});
  WaylandSession(const WaylandSession&) = delete;
  WaylandSession& operator=(const WaylandSession&) = delete;
  virtual ~WaylandSession() { End(); }

  Desktop Which() const { return desktop_; }
  // The environment changes that put a program into this session (for ChildProcess).
  std::vector<std::string> Environment() const;

  // Runs a program in the session and returns what it printed; throws when it fails.
  std::string Run(const std::vector<std::string>& arguments) const;

  // Lets the program cast the screen without asking, as a consent given
  // before would: the sway backend never asks.
  virtual void AllowScreenCast() {}

  // Shows one colour (#rrggbb) on the whole output.
  virtual void ShowColour(const std::string& colour);
  // Shows a 1920x1080 PNG picture on the whole output.
  virtual void ShowPicture(const std::string& png);
  // What the output shows now, as grim's screenshot, kept as a PNG file of this name.
  virtual OwnedScreen Screen(const std::string& name);
  // Whether sway manages a window with this title now.
  virtual bool HasWindow(const std::string& title) const;
  virtual bool WaitWindow(const std::string& title, bool present, std::chrono::milliseconds timeout) const;
  // Closes the program's dialog of this title with its default button, OK.
  virtual void Confirm(const std::string&) const { Type({"-k", "Return"}); }
  // Whether the window with this title floats at its own size, once sway has
  // given it the keyboard focus (keys typed earlier would go elsewhere);
  // nothing when it gets no focus in time.
  std::optional<bool> WaitFocusedFloats(const std::string& title, std::chrono::milliseconds timeout) const;
  // Types keys into the focused window, as wtype arguments (after a short wait, so that none is lost).
  void Type(const std::vector<std::string>& keys) const;

  // The ids of the shortcuts bound through the tests' GlobalShortcuts backend so far.
  std::vector<std::string> BoundShortcuts() const;
  // Has the backend report the shortcut as pressed and released.
  void ActivateShortcut(const std::string& id) const { TellShortcuts("Activate", id); }
  // Has the backend leave the shortcut out of the bindings that follow.
  void RefuseShortcut(const std::string& id) const { TellShortcuts("Refuse", id); }

  const TempDir& Directory() const { return directory_; }
  // What the session's parts wrote, for a failure's message.
  std::string Logs();

 private:
  // The PIDs of every process in the process session that sid leads.
  static std::vector<pid_t> SessionMembers(pid_t sid);

  // Ends every process of the session by PID: politely first, then by force.
  void End();

  void TellShortcuts(const std::string& method, const std::string& id) const;

  // HOME and the XDG folders, all in the session's directory.
  std::vector<std::string> Folders() const;

  Desktop desktop_;
  TempDir directory_;
  std::optional<ChildProcess> session_;
  std::vector<std::string> variables_;
  int pictures_ = 0;
};

}  // namespace lumivanta::test
