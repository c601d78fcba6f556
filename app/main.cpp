// Lumivanta: puts the computer's screen on the web.

#include <malloc.h>

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "app/MainFrame.h"
#include "app/VantacastApp.h"
#include "app/VantacastView.h"
#include "app/desktop/CommandLine.h"
#include "app/desktop/RemoteCommand.h"
#include "app/desktop/RemoteControl.h"
#include "base/Report.h"
#include "platform/DesktopSession.h"
#include "platform/GlobalHotkeys.h"
#include "platform/PlatformServices.h"

namespace {
// Every picture passes through buffers of megabytes that live for one
// capture. Served from mmap, they go back to the system when freed; glibc
// would otherwise raise its threshold after the first one and keep them in
// its heaps, where the resident size steps up over a long slideshow.
constexpr int kLargeBufferBytes = 512 * 1024;

int RunProgram(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, kLargeBufferBytes);
  lumivanta::PreferNativeWayland();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Lumivanta");
  QApplication::setDesktopFileName("lumivanta");

  lumivanta::CvantacastApp app(lumivanta::MakeGlobalHotkeys(), lumivanta::MakeScreenSource());
  // Destroyed before the application, and with it the run. Offered before
  // the start-up, so that a command sent during the first-run wizard is
  // answered that it is not done.
  std::optional<lumivanta::RemoteControl> remote_control;
  if (!app.InitInstance([&remote_control](lumivanta::PublishingRun& run) { remote_control.emplace(run).Offer(); })) {
    return 1;
  }
  return QApplication::exec();
}

// A short-lived process without a display: one call on the session bus.
int SendCommand(int argc, char** argv, const lumivanta::Command& command) {
  QCoreApplication application(argc, argv);
  return lumivanta::SendToRunningInstance(command);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const lumivanta::CommandLine command_line = lumivanta::ParseCommandLine(arguments);
  switch (command_line.action) {
    case lumivanta::CommandLine::Action::kShowHelp:
      std::cout << lumivanta::UsageText();
      return 0;
    case lumivanta::CommandLine::Action::kShowVersion:
      std::cout << lumivanta::VersionText();
      return 0;
    case lumivanta::CommandLine::Action::kFail:
      lumivanta::ReportLine(command_line.error);
      std::cerr << "\n" << lumivanta::UsageText();
      return 2;
    case lumivanta::CommandLine::Action::kSend:
      return SendCommand(argc, argv, *command_line.command);
    case lumivanta::CommandLine::Action::kRun:
      break;
  }
  return RunProgram(argc, argv);
}
