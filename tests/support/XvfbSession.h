#pragma once

// A private X server (Xvfb) for one test, optionally with a window manager,
// and the programs a test runs against it. Everything started here is ended
// by its PID when the session goes away.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace lumivanta::test {

inline constexpr std::chrono::seconds kXvfbStartTimeout{30};
inline constexpr std::chrono::seconds kWindowManagerStartTimeout{30};
inline constexpr std::chrono::seconds kProgramTimeout{30};
inline constexpr std::chrono::seconds kStopTimeout{10};
inline constexpr std::chrono::seconds kWindowTimeout{20};

// Maps the window and waits until it is viewable. A window manager that is
// still starting can drop the request, so it is repeated now and then.
bool MapUntilViewable(Display* display, Window window);

struct XvfbOptions {
  std::string screen = "1920x1080x24";
  std::vector<std::string> extra_arguments;  // e.g. {"-extension", "MIT-SHM"}
  bool window_manager = false;               // start openbox on the display
};

class XvfbSession {
 public:
  explicit XvfbSession(const XvfbOptions& options = {});
  XvfbSession(const XvfbSession&) = delete;
  XvfbSession& operator=(const XvfbSession&) = delete;
  ~XvfbSession();

  // ":N", for XOpenDisplay and $DISPLAY.
  const std::string& DisplayName() const { return display_name_; }

  // The X server's process, e.g. to read the CPU time it spends for its clients.
  pid_t Pid() const { return xvfb_pid_; }

  // Ends the X server at once, as a crash or a logout would, under its clients.
  void Kill();

  // Makes this display the process's $DISPLAY, for the code under test.
  void MakeCurrent() const;

  // Runs a program with $DISPLAY set to this display and waits for its exit
  // code (-1 when it could not run or did not end in time).
  int Run(const std::vector<std::string>& arguments) const;

 private:
  void StartXvfb(const XvfbOptions& options);
  void StartWindowManager();
  // Starts a program with its output discarded (-1 when it cannot); $DISPLAY is this session's
  // once it has one.
  pid_t Spawn(const std::vector<std::string>& arguments) const;

  pid_t xvfb_pid_ = -1;
  pid_t window_manager_pid_ = -1;
  std::string display_name_;
};

}  // namespace lumivanta::test
