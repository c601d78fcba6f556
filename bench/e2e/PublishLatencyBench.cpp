// The real program on both desktops at once: how long `lumivanta --publish`
// takes from its start to the picture stored at the server, on a private
// headless sway capturing through the desktop portal and on a private Xvfb,
// the rounds taking turns so that other load falls on both alike. The time
// includes the short sending process itself, as a desktop's key binding
// runs it. Prints min and median of each side; exits with 1 when a side fails.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "settings/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaylandSession.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using lumivanta::test::ChildProcess;

constexpr int kRounds = 20;
constexpr auto kWait = 30s;
constexpr const char* kContactName = "bench";

// How many uploads the server stored for a contact name (the same picture
// again keeps its sequence); 0 while it has no picture.
std::uint64_t Sequence(const lumivanta::test::ServerProcess& server, const std::string& name) {
  const lumivanta::test::HttpAnswer answer = lumivanta::test::Get(server.Port(), "/pictures/" + name + "/latest.json");
  return answer.body.find("\"present\":true") != std::string::npos ? server.StoredUploads(name) : 0;
}

// Milliseconds from the start of `lumivanta --publish` to a newer picture at the server.
double TimedPublish(const std::vector<std::string>& environment, const std::function<std::uint64_t()>& sequence) {
  const std::uint64_t before = sequence();
  const auto sent = Clock::now();
  ChildProcess sender({LUMIVANTA_PROGRAM, "--publish"}, true, {}, environment);
  while (sequence() <= before) {
    if (Clock::now() - sent > kWait) {
      throw std::runtime_error("no picture arrived: " + sender.ErrorOutput());
    }
    std::this_thread::sleep_for(1ms);
  }
  const double milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
  if (sender.WaitForExit(kWait).exit_code != 0) {
    throw std::runtime_error("lumivanta --publish failed");
  }
  return milliseconds;
}

// The program as a native client of a private headless sway, with a server of its own.
class WaylandSide {
 public:
  WaylandSide() {
    lumivanta::CSettings settings;
    settings.file_name = directory_.File("lumivanta.lic");
    settings.server_url = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/";
    settings.contact_name = kContactName;
    settings.picture_size = 600;
    settings.picture_quality = 1;
    settings.Save();
    session_.ShowPicture(LUMIVANTA_TEST_SCREEN);
    std::vector<std::string> environment = session_.Environment();
    environment.push_back("no_proxy=127.0.0.1");
    program_.emplace(std::vector<std::string>{LUMIVANTA_PROGRAM}, true, directory_.Path().string(), environment);
    if (!program_->WaitForErrorText("the desktop portal casts the screen", kWait) ||
        !program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait)) {
      throw std::runtime_error("the program did not start on Wayland: " + program_->ErrorOutput());
    }
  }

  double Round() {
    const double milliseconds =
        TimedPublish(session_.Environment(), [this] { return Sequence(server_, kContactName); });
    if (!session_.WaitWindow("Lumivanta: Hinweis", true, kWait)) {
      throw std::runtime_error("no information dialog on Wayland");
    }
    session_.Type({"-k", "Return"});
    session_.WaitWindow("Lumivanta: Hinweis", false, kWait);
    return milliseconds;
  }

 private:
  lumivanta::test::ServerProcess server_{{}, {}, true};
  lumivanta::test::TempDir directory_;
  lumivanta::test::WaylandSession session_;
  std::optional<ChildProcess> program_;
};

// The program on a private Xvfb, reached through a private session bus.
class X11Side {
 public:
  X11Side() : session_(Options(bus_)) {
    session_.StartProgram();
    if (!session_.WaitShown(lumivanta::test::kMainWindowTitle) ||
        !session_.Program().WaitForErrorText("tested successfully", kWait)) {
      throw std::runtime_error("the program did not start on X11");
    }
  }

  double Round() {
    const double milliseconds =
        TimedPublish({"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS=" + bus_.Address()},
                     [this] { return session_.State().sequence; });
    session_.PressIn(lumivanta::test::kInformationTitle, "Return");
    session_.WaitShown(lumivanta::test::kInformationTitle, false);
    return milliseconds;
  }

 private:
  static lumivanta::test::ProgramOptions Options(const lumivanta::test::PrivateSessionBus& bus) {
    lumivanta::test::ProgramOptions options;
    options.session_bus_address = bus.Address();
    return options;
  }

  lumivanta::test::PrivateSessionBus bus_;
  lumivanta::test::ProgramSession session_;
};

void Report(const char* what, std::vector<double> values_ms) {
  std::sort(values_ms.begin(), values_ms.end());
  const std::size_t middle = values_ms.size() / 2;
  const double median = values_ms.size() % 2 == 1 ? values_ms[middle] : (values_ms[middle - 1] + values_ms[middle]) / 2;
  std::printf("  %-36s min %7.1f ms   median %7.1f ms   (%zu runs)\n", what, values_ms.front(), median,
              values_ms.size());
}

}  // namespace

int main() {
  try {
    if (const std::string missing = lumivanta::test::MissingWaylandTool(); !missing.empty()) {
      throw std::runtime_error(missing + " is missing");
    }
    X11Side x11;
    WaylandSide wayland;
    std::vector<double> x11_ms;
    std::vector<double> wayland_ms;
    // The first round of each side also puts its main window away: not counted.
    for (int round = 0; round <= kRounds; ++round) {
      const double on_x11 = x11.Round();
      const double on_wayland = wayland.Round();
      if (round > 0) {
        x11_ms.push_back(on_x11);
        wayland_ms.push_back(on_wayland);
      }
      std::this_thread::sleep_for(200ms);
    }
    std::printf("From `lumivanta --publish` to the picture stored at the server:\n");
    Report("Wayland: desktop portal, sway", wayland_ms);
    Report("X11: MIT-SHM, Xvfb", x11_ms);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "publish_latency_bench: %s\n", error.what());
    return 1;
  }
}
