// Commands from the command line: the real program under a private X server
// on a private session bus, and `lumivanta --publish` and its kind run as short
// processes on the same bus, as a desktop's keyboard shortcut would run them;
// and the end of the program by a signal during its first-run wizard.

#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/ProgramSession.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::kInformationTitle;
using test::kMainWindowTitle;
using test::PrivateSessionBus;
using test::ProgramSession;

// Long enough for a command that was taken to show its effect.
constexpr auto kSettleTime = 1500ms;

// Runs `lumivanta OPTION` on the bus at this address, without a display.
ChildProcess::Finished Send(const std::string& bus_address, const std::string& option) {
  ChildProcess sender({LUMIVANTA_PROGRAM, option}, true, {},
                      {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS=" + bus_address});
  return sender.WaitForExit(20s);
}

test::ProgramOptions OnBus(const PrivateSessionBus& bus) {
  test::ProgramOptions options;
  options.session_bus_address = bus.Address();
  return options;
}

class RemoteCommand : public ::testing::Test {
 protected:
  void StartWithMainWindow() {
    session_.StartProgram();
    ASSERT_TRUE(session_.WaitShown(kMainWindowTitle)) << session_.Program().ErrorOutput();
    ASSERT_TRUE(session_.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s));
  }
  void ExpectTaken(const std::string& option) {
    const ChildProcess::Finished sent = Send(bus_.Address(), option);
    EXPECT_EQ(sent.exit_code, 0) << option << ": " << sent.err;
    EXPECT_EQ(sent.err, "");
  }
  void CloseInformation() {
    ASSERT_TRUE(session_.PressIn(kInformationTitle, "Return"));
    ASSERT_TRUE(session_.WaitShown(kInformationTitle, false));
  }

  PrivateSessionBus bus_;
  ProgramSession session_{OnBus(bus_)};
};

TEST_F(RemoteCommand, PublishReachesTheServerAndShowRestoresTheWindow) {
  StartWithMainWindow();
  const std::uint64_t before = session_.State().sequence;
  // The sender is answered at once: the information dialog is still open when it has ended.
  ExpectTaken("--publish");
  ASSERT_TRUE(session_.WaitForPictureAfter(before));
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Picture sent.", 10s));
  ASSERT_TRUE(session_.WaitShown(kInformationTitle));
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle, false));  // minimised before the capture
  CloseInformation();

  ExpectTaken("--show");
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle));
  ExpectTaken("--show");
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle, false));
}

TEST_F(RemoteCommand, CommandsWhileTheInformationDialogIsOpenAreDroppedAndTheSenderSaysSo) {
  StartWithMainWindow();
  session_.Press("ctrl+p");
  const auto published = session_.WaitForPictureAfter(session_.State().sequence);
  ASSERT_TRUE(published);
  ASSERT_TRUE(session_.WaitShown(kInformationTitle));

  for (const char* option : {"--publish", "--slideshow", "--show", "--delete"}) {
    const ChildProcess::Finished sent = Send(bus_.Address(), option);
    EXPECT_EQ(sent.exit_code, 3) << option;
    EXPECT_EQ(sent.err, "lumivanta: not done: a dialog is open\n") << option;
  }
  std::this_thread::sleep_for(kSettleTime);
  EXPECT_EQ(session_.State().sequence, published->sequence);
  EXPECT_FALSE(session_.IsShown(kMainWindowTitle));

  // Nothing was kept for later.
  CloseInformation();
  std::this_thread::sleep_for(kSettleTime);
  EXPECT_EQ(session_.State().sequence, published->sequence);
  EXPECT_TRUE(session_.State().present);
  EXPECT_FALSE(session_.IsShown(kInformationTitle));
  EXPECT_FALSE(session_.IsShown(kMainWindowTitle));
  const std::string& log = session_.Program().ErrorOutput();
  EXPECT_EQ(ChildProcess::Occurrences(log, "Picture sent."), 1u) << log;
  EXPECT_EQ(ChildProcess::Occurrences(log, "Slideshow started."), 0u) << log;
}

TEST_F(RemoteCommand, ASecondInstanceRunsWithoutRemoteControl) {
  StartWithMainWindow();
  test::TempDir second_directory;
  session_.WriteConfiguration(second_directory.Path().string(), {});
  std::unique_ptr<ChildProcess> second;
  session_.StartProgramIn(second_directory.Path().string(), second);
  ASSERT_TRUE(second->WaitForErrorText(
      "lumivanta: org.lumivanta.Lumivanta is taken on the session bus (another Lumivanta?); commands from the "
      "command line go there, not to this Lumivanta\n",
      30s))
      << second->ErrorOutput();
  EXPECT_TRUE(second->IsRunning());

  // The first instance keeps taking the commands.
  ExpectTaken("--publish");
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Picture sent.", 10s));
  EXPECT_EQ(ChildProcess::Occurrences(second->ErrorOutput(), "Picture sent."), 0u);
  CloseInformation();
}

// During the first-run wizard, before the main event loop runs: commands are
// answered that they are not done, and a termination signal ends the program
// as if the wizard had been cancelled and the program closed.
class DuringTheWizard : public ::testing::TestWithParam<int> {};

TEST_P(DuringTheWizard, CommandsAreNotDoneAndASignalEndsTheProgramWithinTwoSeconds) {
  PrivateSessionBus bus;
  test::ProgramOptions options = OnBus(bus);
  options.write_configuration = false;
  ProgramSession session(options);
  session.StartProgram();
  ASSERT_NE(session.WaitForWindow(test::kWizardTitle), None) << session.Program().ErrorOutput();
  const ChildProcess::Finished sent = Send(bus.Address(), "--publish");
  EXPECT_EQ(sent.exit_code, 3);
  EXPECT_EQ(sent.err, "lumivanta: not done: the first-run wizard is open\n");

  const auto signalled = std::chrono::steady_clock::now();
  session.Program().Signal(GetParam());
  const ChildProcess::Finished finished = session.Program().WaitForExit(15s);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);
  EXPECT_EQ(finished.exit_code, 0) << finished.err;
  // Closed the normal way: the delete request went out for the default settings, which are saved.
  EXPECT_EQ(session.DefaultAddressRequests().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_regular_file(session.Directory().File("lumivanta.lic")));
}

INSTANTIATE_TEST_SUITE_P(Signals, DuringTheWizard, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST(RemoteCommandWithoutInstance, SaysSoAndExits1) {
  PrivateSessionBus bus;
  for (const std::string& address : {bus.Address(), bus.MissingAddress()}) {
    const auto started = std::chrono::steady_clock::now();
    const ChildProcess::Finished sent = Send(address, "--publish");
    EXPECT_EQ(sent.exit_code, 1) << address;
    EXPECT_EQ(sent.err, "lumivanta: no running Lumivanta to send --publish to\n") << address;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << address;
  }
}

}  // namespace
}  // namespace lumivanta
