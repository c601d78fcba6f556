#include "tests/support/GnomeKdeSession.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace lumivanta::test {

std::string MissingDesktopTool(Desktop desktop) {
  const bool gnome = desktop == Desktop::kGnome;
  const char* const needed[] = {
      gnome ? "/usr/bin/mutter" : "/usr/bin/kwin_wayland",
      gnome ? "/usr/libexec/xdg-desktop-portal-gnome" : "/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde",
      "/usr/bin/gdbus", "/usr/lib/x86_64-linux-gnu/girepository-1.0/Atspi-2.0.typelib"};
  for (const char* tool : needed) {
    if (desktop != Desktop::kSway && ::access(tool, R_OK) != 0) {
      return tool;
    }
  }
  return MissingWaylandTool();
}

OwnedScreen SolidScreen(const std::string& colour, std::uint32_t width, std::uint32_t height) {
  OwnedScreen screen{width, height, width * 4, std::vector<std::uint8_t>(std::size_t{width} * 4 * height)};
  const std::uint32_t rgb = static_cast<std::uint32_t>(std::stoul(colour.substr(1), nullptr, 16));
  for (std::size_t pixel = 0; pixel < screen.pixels.size(); pixel += 4) {
    screen.pixels[pixel] = static_cast<std::uint8_t>(rgb);
    screen.pixels[pixel + 1] = static_cast<std::uint8_t>(rgb >> 8);
    screen.pixels[pixel + 2] = static_cast<std::uint8_t>(rgb >> 16);
  }
  return screen;
}

void WindowedSession::ShowColour(const std::string& colour) {
  Tell("show " + colour, "shown");
  shown_ = SolidScreen(colour);
}

void WindowedSession::ShowPicture(const std::string& png) {
  Tell("show " + png, "shown");
  shown_ = LoadPng(png);
}

bool WindowedSession::WaitWindow(const std::string& title, bool present, std::chrono::milliseconds timeout) const {
  return AtSpi({"window", "Lumivanta", title, present ? "yes" : "no", std::to_string(timeout.count() / 1000)});
}

void WindowedSession::Confirm(const std::string& title) const {
  if (!AtSpi({"press", "Lumivanta", title, "OK"})) {
    throw std::runtime_error("no OK to press in " + title);
  }
}

bool WindowedSession::AtSpi(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command = {"/usr/bin/python3", LUMIVANTA_ATSPI_SCRIPT};
  command.insert(command.end(), arguments.begin(), arguments.end());
  ChildProcess tool(command, true, Directory().Path().string(), Environment());
  return tool.WaitForExit(std::chrono::seconds(60)).exit_code == 0;
}

WindowedSession::WindowedSession(Desktop desktop, const std::vector<std::string>& screen_arguments)
    : WaylandSession({.desktop = desktop}),
      screen_(screen_arguments, true, Directory().Path().string(), Environment(), true) {
  ShowColour("#204060");
}

void WindowedSession::Tell(const std::string& command, const std::string& answer) {
  if (!screen_.Write(command + "\n") || screen_.ReadLine(kWaylandToolTimeout) != answer) {
    throw std::runtime_error("the test window did not do '" + command + "': " + screen_.ErrorOutput() + Logs());
  }
}

void WindowedSession::Grant(const std::string& data) {
  const std::string token = "00000000-0000-4000-8000-000000000001";
  Run({"/usr/bin/gdbus", "call", "--session", "--dest", "org.freedesktop.impl.portal.PermissionStore", "--object-path",
       "/org/freedesktop/impl/portal/PermissionStore", "--method", "org.freedesktop.impl.portal.PermissionStore.Set",
       "screencast", "true", token, "{'': ['yes']}", data});
  const std::string folder = Directory().File("state/lumivanta");
  std::filesystem::create_directories(folder);
  WriteWholeFile(folder + "/screencast-restore-token", token + "\n");
}

GnomeSession::GnomeSession() : WindowedSession(Desktop::kGnome, {LUMIVANTA_TEST_SCREEN_PROGRAM, "--mutter"}) {}

void GnomeSession::AllowScreenCast() {
  const std::string now = std::to_string(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count());
  Grant("<('GNOME', uint32 1, <(int64 " + now + ", int64 " + now +
        ", [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:0x00'>)])>)>");
}

OwnedScreen GnomeSession::Screen(const std::string& name) {
  Tell("shot " + Directory().File(name), "shot");
  return LoadPng(Directory().File(name));
}

bool GnomeSession::AnswerConsent(bool share) const {
  return share ? AtSpi({"pick", "xdg-desktop-portal-gnome", "Screen Share", "Share"})
               : AtSpi({"press", "xdg-desktop-portal-gnome", "Screen Share", "Cancel"});
}

KdeSession::KdeSession() : WindowedSession(Desktop::kKde, {LUMIVANTA_TEST_SCREEN_PROGRAM}) {}

void KdeSession::AllowScreenCast() {
  Grant(
      "<('KDE', uint32 1, <[byte 0, 0, 0, 1, 0, 0, 0, 14, 0, 0x6f, 0, 0x75, 0, 0x74, 0, 0x70, 0, 0x75, 0, 0x74, 0, "
      "0x73, 0, 0, 0, 9, 0, 0, 0, 0, 1, 0, 0, 0, 10, 0, 0, 0, 0, 6, 0, 0x30, 0, 0x78, 0, 0x30]>)>");
}

void KdeSession::PressKeys(const std::vector<std::string>& codes) const {
  std::vector<std::string> command = {LUMIVANTA_KWIN_FAKE_INPUT_PROGRAM};
  command.insert(command.end(), codes.begin(), codes.end());
  Run(command);
}

std::unique_ptr<WaylandSession> MakeWaylandSession(Desktop desktop) {
  if (desktop == Desktop::kGnome) {
    return std::make_unique<GnomeSession>();
  }
  if (desktop == Desktop::kKde) {
    return std::make_unique<KdeSession>();
  }
  return std::make_unique<WaylandSession>();
}

}  // namespace lumivanta::test
