#include "tests/support/ProgramSession.h"

#include <X11/Xatom.h>

#include <thread>

namespace lumivanta::test {

ProgramSession::ProgramSession(const ProgramOptions& options)
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

void ProgramSession::WriteConfiguration(const std::string& directory, const ProgramOptions& options) const {
  CSettings settings;
  settings.file_name = directory + "/lumivanta.lic";
  settings.server_url = options.server_url.empty() ? ServerUrl() : options.server_url;
  settings.contact_name = kContactName;
  settings.refresh_rate_ms = options.refresh_rate_ms;
  settings.picture_size = options.picture_size;
  settings.picture_quality = 1;
  settings.Save();
}

ChildProcess& ProgramSession::StartProgramIn(const std::string& directory,
                                             std::unique_ptr<ChildProcess>& process) const {
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

void ProgramSession::Press(const std::string& keys) {
  XSetInputFocus(scene_.Get(), focus_holder_, RevertToParent, CurrentTime);
  XSync(scene_.Get(), False);
  xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", keys});
}

bool ProgramSession::Close(const std::string& title) {
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

bool ProgramSession::PressIn(const std::string& title, const std::string& keys, Window other_than) {
  const Window window = WaitForWindow(title, other_than);
  if (window == None || !WaitFocused(window)) {
    return false;
  }
  xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "key", keys});
  return true;
}

Window ProgramSession::WaitForWindow(const std::string& title, Window other_than,
                                     std::chrono::milliseconds timeout) const {
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

void ProgramSession::MovePointer(int x, int y) {
  xvfb_.Run({LUMIVANTA_XDOTOOL_PROGRAM, "mousemove", std::to_string(x), std::to_string(y)});
}

void ProgramSession::Click(int x, int y, int button) {
  xvfb_.Run(
      {LUMIVANTA_XDOTOOL_PROGRAM, "mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
}

void ProgramSession::PressHere(const std::vector<std::string>& keys) {
  std::vector<std::string> arguments = {LUMIVANTA_XDOTOOL_PROGRAM, "key"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  xvfb_.Run(arguments);
}

Window ProgramSession::FindWindow(const std::string& title, Window other_than) const {
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

bool ProgramSession::IsShown(const std::string& title) const {
  const Window window = FindWindow(title);
  XWindowAttributes attributes{};
  return window != None && XGetWindowAttributes(scene_.Get(), window, &attributes) != 0 &&
         attributes.map_state == IsViewable;
}

bool ProgramSession::WaitShown(const std::string& title, bool shown, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (IsShown(title) == shown) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

std::optional<std::chrono::milliseconds> ProgramSession::Ping(const std::string& title,
                                                              std::chrono::milliseconds timeout) {
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

ProgramSession::Area ProgramSession::FocusHolderArea() const {
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

bool ProgramSession::IsAlwaysOnTop(const std::string& title) const {
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

ServerState ProgramSession::State() const {
  const HttpAnswer answer = Get(server_.Port(), viewer_path_ + "pictures/" + kContactName + "/latest.json");
  ServerState state;
  state.present = answer.body.find("\"present\":true") != std::string::npos;
  state.sequence = state.present ? server_.StoredUploads(kContactName) : 0;
  return state;
}

std::optional<ServerState> ProgramSession::WaitForPictureAfter(std::uint64_t sequence,
                                                               std::chrono::milliseconds timeout) const {
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

DecodedJpeg ProgramSession::NewestPicture() const {
  return DecodeJpeg(Get(server_.Port(), viewer_path_ + "pictures/" + kContactName + "/latest.jpg").body);
}

bool ProgramSession::WaitFocused(Window window) const {
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

std::vector<unsigned long> ProgramSession::WindowProperty(Window window, Atom property) const {
  return WindowListProperty(scene_.Get(), window, property);
}

OwnedScreen ProgramSession::PaintedScreen(std::uint32_t width, std::uint32_t height) {
  OwnedScreen screen = LoadTestScreen();
  if (screen.width == width && screen.height == height) {
    return screen;
  }
  return test::ScreenOfSize(screen, width, height);
}

}  // namespace lumivanta::test
