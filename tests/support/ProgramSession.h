#pragma once

// The whole road for end-to-end tests: a private X server with a window
// manager and the test screen painted on it, a window of another program
// holding the focus, lumivanta-server on a free port, and the real lumivanta
// program in a fresh directory whose configuration file points at that server.
// Nothing of the machine reaches the program: requests to the default server
// address (localhost:8080) go through a proxy that the session runs, which
// answers them and keeps them, the program has no session bus unless the
// test gives it one, and its preferences and state stay in its own directory.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
  explicit ProgramSession(const ProgramOptions& options = {})
      : previous_error_handler_(XSetErrorHandler(IgnoreXError)),
        xvfb_(XvfbOptions{
            .screen = std::to_string(options.screen_width) + "x" + std::to_string(options.screen_height) + "x24",
            .extra_arguments = {},
            .window_manager = true}),
        scene_(xvfb_.DisplayName()),
        screen_(PaintedScreen(options.screen_width, options.screen_height)),
        session_bus_address_(options.session_bus_address.empty() ? "disabled:" : options.session_bus_address),
        extra_environment_(options.environment),
        viewer_path_(options.viewer_path),
        server_(options.server_options, {}, true) {
    xvfb_.MakeCurrent();
    scene_.PaintRoot([this](int x, int y) {
      const std::uint8_t* bgrx = screen_.At(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
      return static_cast<std::uint32_t>(bgrx[2]) << 16 | static_cast<std::uint32_t>(bgrx[1]) << 8 | bgrx[0];
    });
    focus_holder_ = scene_.MapFocusedWindow();
    if (options.write_configuration) {
      WriteConfiguration(directory_.Path().string(), options);
    }
  }

  void WriteConfiguration(const std::string& directory, const ProgramOptions& options) const {
    CSettings settings;
    settings.file_name = directory + "/lumivanta.lic";
    settings.server_url = options.server_url.empty() ? ServerUrl() : options.server_url;
    settings.contact_name = kContactName;
    settings.refresh_rate_ms = options.refresh_rate_ms;
    settings.picture_size = options.picture_size;
    settings.picture_quality = 1;
    settings.Save();
  }

  // Starts the program and waits for its main window.
  ChildProcess& StartProgram() { return StartProgramIn(directory_.Path().string(), program_); }
  ChildProcess& StartProgramIn(const std::string& directory, std::unique_ptr<ChildProcess>& process) const {
    std::vector<std::string> environment = {
        "http_proxy=" + default_address_proxy_.Url("/"),
        "no_proxy=127.0.0.1",
        "NO_PROXY=127.0.0.1",
        "https_proxy",
        "HTTPS_PROXY",
        "HTTP_PROXY",
        "all_proxy",
        "ALL_PROXY",
        "DBUS_SESSION_BUS_ADDRESS=" + session_bus_address_,
        // The preferences and the state go beside the configuration file, never to the user's.
        "XDG_CONFIG_HOME=" + directory + "/config",
        "XDG_STATE_HOME=" + directory + "/state",
        // An X11 session, also where the tests run inside a Wayland desktop.
        "WAYLAND_DISPLAY",
        "XDG_SESSION_TYPE",
    };
    environment.insert(environment.end(), extra_environment_.begin(), extra_environment_.end());
    process = std::make_unique<ChildProcess>(std::vector<std::string>{LUMIVANTA_PROGRAM}, true, directory, environment);
    return *process;
  }
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
  void Press(const std::string& keys) {
    XSetInputFocus(scene_.Get(), focus_holder_, RevertToParent, CurrentTime);
    XSync(scene_.Get(), False);
    xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", keys});
  }
  // Asks the window with this title to close, as its close box does.
  bool Close(const std::string& title) {
    Display* display = scene_.Get();
    const Window window = FindWindow(title);
    if (window == None) {
      return false;
    }
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &request);
    XFlush(display);
    return true;
  }

  // Presses keys in the window with this title once it is shown and has the
  // focus (keys pressed earlier would go to another window); false when it
  // does not get there in time.
  bool PressIn(const std::string& title, const std::string& keys, Window other_than = None) {
    const Window window = WaitForWindow(title, other_than);
    if (window == None || !WaitFocused(window)) {
      return false;
    }
    xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", keys});
    return true;
  }

  // The shown window with this title, other than the given one (a page that
  // follows one with the same title); None when none comes in time.
  Window WaitForWindow(const std::string& title, Window other_than = None,
                       std::chrono::milliseconds timeout = kWindowWait) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const Window window = FindWindow(title, other_than);
      XWindowAttributes attributes{};
      if (window != None && XGetWindowAttributes(scene_.Get(), window, &attributes) != 0 &&
          attributes.map_state == IsViewable) {
        return window;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return None;
  }
  void MovePointer(int x, int y) {
    xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "mousemove", std::to_string(x), std::to_string(y)});
  }
  // Clicks a mouse button (1 left, 3 right) at this place on the screen, as a person would (XTEST).
  void Click(int x, int y, int button) {
    xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "mousemove", std::to_string(x), std::to_string(y), "click",
               std::to_string(button)});
  }
  // Presses keys without moving the focus: they go to whatever has it, or holds the keyboard.
  void PressHere(const std::vector<std::string>& keys) {
    std::vector<std::string> arguments = {LUMIVANTA_XDOTOOL_PROGRAM, "key"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    xvfb_.Run(arguments);
  }

  // The managed window with exactly this title (other than other_than), or None.
  Window FindWindow(const std::string& title, Window other_than = None) const {
    Display* display = scene_.Get();
    const Atom client_list = XInternAtom(display, "_NET_CLIENT_LIST", False);
    for (const unsigned long window : WindowProperty(DefaultRootWindow(display), client_list)) {
      char* name = nullptr;
      if (window != other_than && XFetchName(display, window, &name) != 0 && name != nullptr) {
        const bool same = title == name;
        XFree(name);
        if (same) {
          return window;
        }
      }
    }
    return None;
  }

  bool IsShown(const std::string& title) const {
    const Window window = FindWindow(title);
    XWindowAttributes attributes{};
    return window != None && XGetWindowAttributes(scene_.Get(), window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
  }

  // Waits until the window with this title is (or is no longer) viewable.
  bool WaitShown(const std::string& title, bool shown = true, std::chrono::milliseconds timeout = kWindowWait) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      if (IsShown(title) == shown) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  // How long the window with this title takes to answer a _NET_WM_PING, which
  // its event loop answers: nothing when it does not answer within timeout.
  std::optional<std::chrono::milliseconds> Ping(const std::string& title, std::chrono::milliseconds timeout) {
    Display* display = scene_.Get();
    const Window window = FindWindow(title);
    if (window == None) {
      return std::nullopt;
    }
    const Window root = DefaultRootWindow(display);
    // The answer comes to the root window, to whoever listens for its
    // structure (Qt sends it with the structure mask, not the substructure one).
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    const long stamp = ++ping_stamp_;
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = protocols;
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(ping);
    request.xclient.data.l[1] = stamp;
    request.xclient.data.l[2] = static_cast<long>(window);
    const auto sent = std::chrono::steady_clock::now();
    XSendEvent(display, window, False, NoEventMask, &request);
    XFlush(display);
    while (std::chrono::steady_clock::now() - sent < timeout) {
      XEvent answer{};
      while (XCheckTypedEvent(display, ClientMessage, &answer)) {
        if (answer.xclient.message_type == protocols && answer.xclient.data.l[0] == static_cast<long>(ping) &&
            answer.xclient.data.l[1] == stamp) {
          return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::nullopt;
  }

  struct Area {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
  };
  // Where the other program's window stands on the screen, its frame included.
  Area FocusHolderArea() const {
    constexpr int kFrameMarginPx = 40;
    XWindowAttributes attributes{};
    XGetWindowAttributes(scene_.Get(), focus_holder_, &attributes);
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(scene_.Get(), focus_holder_, DefaultRootWindow(scene_.Get()), 0, 0, &x, &y, &child);
    return {x - kFrameMarginPx, y - kFrameMarginPx, x + attributes.width + kFrameMarginPx,
            y + attributes.height + kFrameMarginPx};
  }

  bool IsAlwaysOnTop(const std::string& title) const {
    const Window window = FindWindow(title);
    const Atom state = XInternAtom(scene_.Get(), "_NET_WM_STATE", False);
    const Atom above = XInternAtom(scene_.Get(), "_NET_WM_STATE_ABOVE", False);
    for (const unsigned long value : WindowProperty(window, state)) {
      if (value == above) {
        return true;
      }
    }
    return false;
  }

  ServerState State() const {
    const HttpAnswer answer = Get(server_.Port(), viewer_path_ + "pictures/" + kContactName + "/latest.json");
    ServerState state;
    state.present = answer.body.find("\"present\":true") != std::string::npos;
    state.sequence = state.present ? server_.StoredUploads(kContactName) : 0;
    return state;
  }

  // Waits for a picture newer than the given sequence.
  std::optional<ServerState> WaitForPictureAfter(std::uint64_t sequence,
                                                 std::chrono::milliseconds timeout = kWindowWait) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const ServerState state = State();
      if (state.present && state.sequence > sequence) {
        return state;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return std::nullopt;
  }

  DecodedJpeg NewestPicture() const {
    return DecodeJpeg(Get(server_.Port(), viewer_path_ + "pictures/" + kContactName + "/latest.jpg").body);
  }

 private:
  // Waits until the keyboard focus is on the window or inside it.
  bool WaitFocused(Window window) const {
    Display* display = scene_.Get();
    const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
    while (std::chrono::steady_clock::now() < deadline) {
      Window focus = None;
      int revert_to = 0;
      XGetInputFocus(display, &focus, &revert_to);
      for (Window inside = focus; inside != None && inside != PointerRoot;) {
        if (inside == window) {
          return true;
        }
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, inside, &root, &parent, &children, &count) == 0) {
          break;
        }
        XFree(children);
        inside = parent == root ? None : parent;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  std::vector<unsigned long> WindowProperty(Window window, Atom property) const {
    std::vector<unsigned long> values;
    if (window == None) {
      return values;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(scene_.Get(), window, property, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                           &remaining, &data) == Success &&
        data != nullptr) {
      if (format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
      }
      XFree(data);
    }
    return values;
  }

  // The test screen as it is, or tiled over a screen of another size.
  static OwnedScreen PaintedScreen(std::uint32_t width, std::uint32_t height) {
    OwnedScreen screen = LoadTestScreen();
    if (screen.width == width && screen.height == height) {
      return screen;
    }
    return test::ScreenOfSize(screen, width, height);
  }

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
