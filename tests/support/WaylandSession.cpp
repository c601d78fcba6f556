#include "tests/support/WaylandSession.h"

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace lumivanta::test {

std::string MissingWaylandTool() {
  for (const char* tool :
       {"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/swaybg", "/usr/bin/pipewire", "/usr/bin/wireplumber",
        "/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-wlr", "/usr/bin/dbus-run-session",
        "/usr/bin/dbus-send", "/usr/bin/setpriv", "/usr/bin/setsid", "/usr/bin/grim", "/usr/bin/wtype"}) {
    if (::access(tool, X_OK) != 0) {
      return tool;
    }
  }
  return {};
}

std::string MissingShortcutsBackendTool() {
  ChildProcess probe({"/usr/bin/python3", "-c", "import dbus, dbus.service, dbus.mainloop.glib, gi.repository.GLib"},
                     true);
  return probe.WaitForExit(kWaylandToolTimeout).exit_code == 0 ? std::string()
                                                               : "python3 with dbus and gi (python3-dbus, python3-gi)";
}

WaylandSession::WaylandSession(const WaylandSessionOptions& options) : desktop_(options.desktop) {
  for (const char* folder : {"runtime", "config", "data", "state", "cache", "home"}) {
    std::filesystem::create_directory(directory_.Path() / folder);
  }
  std::filesystem::permissions(directory_.Path() / "runtime", std::filesystem::perms::owner_all);
  std::vector<std::string> environment = Folders();
  environment.insert(environment.end(), {"XDG_SESSION_TYPE=wayland", "DISPLAY", "WAYLAND_DISPLAY",
                                         "DBUS_SESSION_BUS_ADDRESS", "XDG_DESKTOP_PORTAL_DIR", "QT_QPA_PLATFORM"});
  const char* const desktops[] = {"sway", "gnome", "kde"};
  // setsid makes the session leader's PID the process session of every
  // part, including the services that D-Bus starts on demand.
  session_.emplace(
      std::vector<std::string>{"/usr/bin/setsid", "/usr/bin/dbus-run-session",
                               std::string("--config-file=") + LUMIVANTA_WAYLAND_SESSION_BUS, "--", "/bin/sh",
                               LUMIVANTA_WAYLAND_SESSION_SCRIPT, desktops[static_cast<int>(desktop_)],
                               directory_.Path().string(), options.screencast ? "yes" : "no", LUMIVANTA_SCREENCOPY_SHIM,
                               options.global_shortcuts ? LUMIVANTA_SHORTCUTS_BACKEND : ""},
      true, directory_.Path().string(), environment);
  const auto deadline = std::chrono::steady_clock::now() + kWaylandSessionStartTimeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    std::string line;
    try {
      line = session_->ReadLine(left);
    } catch (const std::exception&) {
      End();
      throw std::runtime_error("the Wayland session did not start: " + Logs());
    }
    if (line == "ready") {
      break;
    }
    if (const std::size_t equals = line.find('='); equals != std::string::npos) {
      variables_.push_back(line);
    }
  }
}

std::vector<std::string> WaylandSession::Environment() const {
  std::vector<std::string> environment = variables_;
  const std::vector<std::string> folders = Folders();
  environment.insert(environment.end(), folders.begin(), folders.end());
  environment.insert(environment.end(), {"XDG_SESSION_TYPE=wayland", "DISPLAY", "QT_QPA_PLATFORM", "http_proxy",
                                         "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"});
  if (desktop_ != Desktop::kSway) {
    // Their windows are found and pressed through AT-SPI.
    environment.push_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");
  }
  return environment;
}

std::string WaylandSession::Run(const std::vector<std::string>& arguments) const {
  ChildProcess tool(arguments, true, directory_.Path().string(), Environment());
  const ChildProcess::Finished finished = tool.WaitForExit(kWaylandToolTimeout);
  if (finished.exit_code != 0) {
    throw std::runtime_error(arguments.front() + " failed: " + finished.err);
  }
  return finished.out;
}

void WaylandSession::ShowColour(const std::string& colour) {
  Run({"/usr/bin/swaymsg", "output", "HEADLESS-1", "bg", colour, "solid_color"});
}

void WaylandSession::ShowPicture(const std::string& png) {
  const std::string copy = directory_.File("background-" + std::to_string(++pictures_) + ".png");
  std::filesystem::copy_file(png, copy);
  std::filesystem::permissions(copy, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  Run({"/usr/bin/swaymsg", "output", "HEADLESS-1", "bg", copy, "fill"});
}

OwnedScreen WaylandSession::Screen(const std::string& name) {
  const std::string file = directory_.File(name);
  Run({"/usr/bin/grim", "-o", "HEADLESS-1", file});
  return LoadPng(file);
}

bool WaylandSession::HasWindow(const std::string& title) const {
  return Run({"/usr/bin/swaymsg", "-t", "get_tree"}).find("\"name\": \"" + title + "\"") != std::string::npos;
}

bool WaylandSession::WaitWindow(const std::string& title, bool present, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (HasWindow(title) != present) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::optional<bool> WaylandSession::WaitFocusedFloats(const std::string& title,
                                                      std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string tree = Run({"/usr/bin/swaymsg", "-t", "get_tree"});
    // A node's "type" and "focused" come before its "name", with no other node between.
    const std::size_t at = tree.find("\"name\": \"" + title + "\"");
    const std::size_t type = at == std::string::npos ? at : tree.rfind("\"type\": \"", at);
    const std::size_t focused = at == std::string::npos ? at : tree.rfind("\"focused\": ", at);
    if (type != std::string::npos && focused != std::string::npos && tree.compare(focused + 11, 4, "true") == 0) {
      return tree.compare(type + 9, 13, "floating_con\"") == 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

void WaylandSession::Type(const std::vector<std::string>& keys) const {
  std::vector<std::string> arguments = {"/usr/bin/wtype", "-s", "50"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  Run(arguments);
}

std::vector<std::string> WaylandSession::BoundShortcuts() const {
  const std::string reply =
      Run({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=org.lumivanta.TestShortcuts",
           "/org/freedesktop/portal/desktop", "org.lumivanta.TestShortcuts.Bound"});
  std::vector<std::string> ids;
  for (std::size_t at = reply.find("string \""); at != std::string::npos; at = reply.find("string \"", at)) {
    at += 8;
    ids.push_back(reply.substr(at, reply.find('"', at) - at));
  }
  return ids;
}

std::string WaylandSession::Logs() {
  std::string logs;
  for (const char* name : {"compositor.log", "pipewire.log", "backend.log", "portal.log", "shortcuts.log"}) {
    std::ifstream in(directory_.File(name));
    std::stringstream text;
    text << in.rdbuf();
    logs += std::string("\n--- ") + name + "\n" + text.str();
  }
  if (session_) {
    logs += "\n--- session\n" + session_->ErrorOutput();
  }
  return logs;
}

std::vector<pid_t> WaylandSession::SessionMembers(pid_t sid) {
  std::vector<pid_t> members;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    std::getline(stat, text);
    // After the command in parentheses: state, parent, group, session.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    fields >> state >> parent >> group >> session;
    if (session == sid && state != "Z") {
      members.push_back(static_cast<pid_t>(std::stoi(name)));
    }
  }
  return members;
}

void WaylandSession::End() {
  if (!session_) {
    return;
  }
  const pid_t sid = session_->Pid();
  for (const int signal : {SIGTERM, SIGKILL}) {
    for (const pid_t member : SessionMembers(sid)) {
      ::kill(member, signal);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!SessionMembers(sid).empty() && std::chrono::steady_clock::now() < deadline) {
      session_->IsRunning();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (SessionMembers(sid).empty()) {
      break;
    }
  }
  session_.reset();
  // The document portal's mount, where its process ended without unmounting.
  ::umount2(directory_.File("runtime/doc").c_str(), MNT_DETACH);
}

void WaylandSession::TellShortcuts(const std::string& method, const std::string& id) const {
  Run({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=org.lumivanta.TestShortcuts",
       "/org/freedesktop/portal/desktop", "org.lumivanta.TestShortcuts." + method, "string:" + id});
}

std::vector<std::string> WaylandSession::Folders() const {
  const char* const desktops[] = {"sway", "GNOME", "KDE"};
  return {"HOME=" + directory_.File("home"),
          "XDG_RUNTIME_DIR=" + directory_.File("runtime"),
          "XDG_CONFIG_HOME=" + directory_.File("config"),
          "XDG_DATA_HOME=" + directory_.File("data"),
          "XDG_STATE_HOME=" + directory_.File("state"),
          "XDG_CACHE_HOME=" + directory_.File("cache"),
          std::string("XDG_CURRENT_DESKTOP=") + desktops[static_cast<int>(desktop_)]};
}

}  // namespace lumivanta::test
