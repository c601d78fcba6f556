// The notification hold against a notification server that offers Inhibit
// and UnInhibit (a small fake of KDE Plasma's, on a private session bus); dunst,
// the real one, is met by the end-to-end tests of the program.

#include "platform/DesktopNotificationHold.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>

#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using Result = NotificationHold::Result;

TEST(NotificationHold, InhibitsWhereTheServerOffersItOnceUntilReleasedAndNothingWhereNoServerRuns) {
  const test::PrivateSessionBus bus;
  const test::ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
  int argc = 1;
  char name[] = "notification_hold_test";
  char* argv[] = {name, nullptr};
  const QCoreApplication application(argc, argv);
  const test::TempDir directory;
  const std::filesystem::path record = directory.Path() / "notification-hold";

  // No server runs: none is started for the hold, and nothing is held back.
  DesktopNotificationHold hold(record);
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(hold.Hold(), Result::kUnavailable);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
  hold.Release();

  test::ChildProcess server({"/usr/bin/python3", LUMIVANTA_INHIBITING_SERVER}, true, {},
                            {"DBUS_SESSION_BUS_ADDRESS=" + bus.Address()});
  ASSERT_EQ(server.ReadLine(20s), "ready") << server.ErrorOutput();
  EXPECT_EQ(hold.Hold(), Result::kTaken);
  EXPECT_EQ(server.ReadLine(5s), "inhibit 42 lumivanta");
  EXPECT_EQ(hold.Hold(), Result::kAlreadyHeld);
  // The server ends an inhibition with the connection of its holder: nothing is noted for a crash.
  EXPECT_FALSE(std::filesystem::exists(record));
  hold.Release();
  EXPECT_EQ(server.ReadLine(5s), "uninhibit 42");
  hold.Release();

  // A hold taken again is released when the hold goes, as at the end of the program.
  {
    DesktopNotificationHold ending(record);
    EXPECT_EQ(ending.Hold(), Result::kTaken);
    EXPECT_EQ(server.ReadLine(5s), "inhibit 43 lumivanta");
  }
  EXPECT_EQ(server.ReadLine(5s), "uninhibit 43");
}

TEST(NotificationHold, ALeftoverOfAnEndedRunIsReleasedAndForgottenOneOfARunningLumivantaKept) {
  const test::TempDir directory;
  const std::filesystem::path record = directory.Path() / "notification-hold";
  // No session bus: dunst's pause, like mako's mode, has ended with its server.
  const test::ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  test::WriteWholeFile(record.string(), "dunst-pause 2147483646\n");
  DesktopNotificationHold hold(record);
  hold.ReleaseLeftover();
  EXPECT_FALSE(std::filesystem::exists(record));
  test::WriteWholeFile(record.string(), "not a record");
  hold.ReleaseLeftover();
  EXPECT_FALSE(std::filesystem::exists(record));

  // A process of the program's own name still runs with the PID noted: it releases its hold itself.
  const std::string twin = directory.File("notification_hold_test");
  std::filesystem::create_symlink("/bin/sleep", twin);
  test::ChildProcess running({twin, "30"}, false);
  test::WriteWholeFile(record.string(), "dunst-pause " + std::to_string(running.Pid()) + "\n");
  hold.ReleaseLeftover();
  EXPECT_TRUE(std::filesystem::exists(record));
}

}  // namespace
}  // namespace lumivanta
