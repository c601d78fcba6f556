#pragma once

// The whole road for end-to-end tests: a private X server with a window
// manager and the test screen painted on it, a window of another program
// holding the focus, lumivanta-server on a free port, and the real lumivanta
// program in a fresh directory whose configuration file points at that server.
// Nothing of the machine reaches the program: requests to the default server
// address (localhost:8080) go through a proxy that the session runs, which
// answers them and keeps them, the program has no session bus unless the
// test gives it one, and its preferences and state stay in its own directory.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/X11Scene.h"
#include "tests/support/XvfbSession.h"

namespace lumivanta::test {

inline constexpr auto kWindowWait = std::chrono::seconds(30);
inline constexpr const char* kMainWindowTitle = "Lumivanta - Your computer screen live on the internet!";
inline constexpr const char* kInformationTitle = "Lumivanta: Hinweis";
inline constexpr const char* kWizardTitle = "Lumivanta: New Connection Wizard";
inline constexpr const char* kContactName = "e2e";

struct ProgramOptions {
  bool write_configuration = true;
  std::string server_url;  // empty: the session's own server
  std::int32_t refresh_rate_ms = 1000;
  std::uint32_t picture_size = 600;
  // The X server's screen; a size other than the test screen's shows the test screen tiled.
  std::uint32_t screen_width = 1920;
  std::uint32_t screen_height = 1080;
  // The session bus the program is given (DBUS_SESSION_BUS_ADDRESS); empty: none.
  std::string session_bus_address;
  // Options of the session's lumivanta-server, after its --listen.
  std::vector<std::string> server_options;
  // More of the program's environment, as NAME=VALUE.
  std::vector<std::string> environment;
  // Where the server's pictures are watched: "/", or "/v/KEY/" when it has a view key.
  std::string viewer_path = "/";
};

// What the server holds for the contact name.
struct ServerState {
  bool present = false;
  // Grows with every upload the server stored, the same picture again included; 0 without a picture.
  std::uint64_t sequence = 0;
};

class ProgramSession {
 public:
  explicit ProgramSession(const ProgramOptions& options = {});

  void WriteConfiguration(const std::string& directory, const ProgramOptions& options) const;

  // Starts the program and waits for its main window.
  ChildProcess& StartProgram() { return StartProgramIn(directory_.Path().string(), program_); }
  ChildProcess& StartProgramIn(const std::string& directory, std::unique_ptr<ChildProcess>& process) const;
  // What the program sent to the default server address, as the proxy received it.
  std::vector<std::string> DefaultAddressRequests() const { return default_address_proxy_.Requests(); }
  ChildProcess& Program() { return *program_; }

  std::string ServerUrl() const { return "http://127.0.0.1:" + std::to_string(server_.Port()) + "/"; }
  int ServerPort() const { return server_.Port(); }
  // Ends the picture server, as a crash or a shut-down of its machine would.
  void StopServer() { server_.Stop(); }
  const TempDir& Directory() const { return directory_; }
  // What the screen shows under the windows.
  const OwnedScreen& TestScreen() const { return screen_; }
  Display* X() const { return scene_.Get(); }
  const std::string& DisplayName() const { return xvfb_.DisplayName(); }
  pid_t XServerPid() const { return xvfb_.Pid(); }

  // Presses keys as a person would (XTEST), with the other program's window focused.
  void Press(const std::string& keys);
  // Asks the window with this title to close, as its close box does.
  bool Close(const std::string& title);

  // Presses keys in the window with this title once it is shown and has the
  // focus (keys pressed earlier would go to another window); false when it
  // does not get there in time.
  bool PressIn(const std::string& title, const std::string& keys, Window other_than = None);

  // The shown window with this title, other than the given one (a page that
  // follows one with the same title); None when none comes in time.
  Window WaitForWindow(const std::string& title, Window other_than = None,
                       std::chrono::milliseconds timeout = kWindowWait) const;
  void MovePointer(int x, int y);
  // Clicks a mouse button (1 left, 3 right) at this place on the screen, as a person would (XTEST).
  void Click(int x, int y, int button);
  // Presses keys without moving the focus: they go to whatever has it, or holds the keyboard.
  void PressHere(const std::vector<std::string>& keys);

  // The managed window with exactly this title (other than other_than), or None.
  Window FindWindow(const std::string& title, Window other_than = None) const;

  bool IsShown(const std::string& title) const;

  // Waits until the window with this title is (or is no longer) viewable.
  bool WaitShown(const std::string& title, bool shown = true, std::chrono::milliseconds timeout = kWindowWait) const;

  // How long the window with this title takes to answer a _NET_WM_PING, which
  // its event loop answers: nothing when it does not answer within timeout.
  std::optional<std::chrono::milliseconds> Ping(const std::string& title, std::chrono::milliseconds timeout);

  struct Area {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
  };
  // Where the other program's window stands on the screen, its frame included.
  Area FocusHolderArea() const;

  bool IsAlwaysOnTop(const std::string& title) const;

  ServerState State() const;

  // Waits for a picture newer than the given sequence.
  std::optional<ServerState> WaitForPictureAfter(std::uint64_t sequence,
                                                 std::chrono::milliseconds timeout = kWindowWait) const;

  DecodedJpeg NewestPicture() const;

 private:
  // Waits until the keyboard focus is on the window or inside it.
  bool WaitFocused(Window window) const;

  std::vector<unsigned long> WindowProperty(Window window, Atom property) const;

  // The test screen as it is, or tiled over a screen of another size.
  static OwnedScreen PaintedScreen(std::uint32_t width, std::uint32_t height);

  // Windows come and go while the test looks at them: an error about a window
  // that is gone means "not there", not the end of the test.
  static int IgnoreXError(Display*, XErrorEvent*) { return 0; }

  XErrorHandler previous_error_handler_;
  XvfbSession xvfb_;
  X11Scene scene_;
  OwnedScreen screen_;
  std::string session_bus_address_;
  std::vector<std::string> extra_environment_;
  std::string viewer_path_;
  Window focus_holder_ = None;
  long ping_stamp_ = 0;
  ServerProcess server_;
  LoopbackServer default_address_proxy_{HttpResponse("200 OK", "connectok")};
  TempDir directory_;
  std::unique_ptr<ChildProcess> program_;
};

}  // namespace lumivanta::test
