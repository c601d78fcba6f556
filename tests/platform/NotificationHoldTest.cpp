// The notification hold against a small stand-in for KDE Plasma's
// notification server, which offers Inhibit and UnInhibit, on a private
// session bus; the real dunst meets the program in the end-to-end tests.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>

#include "platform/DesktopNotificationHold.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/TempDir.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using Result = NotificationHold::Result;

TEST(NotificationHold, InhibitsWhereTheServerOffersItUntilReleasedAndHoldsNothingWhereNoneRuns) {
  const test::PrivateSessionBus bus;
  const test::ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", bus.Address());
  int argc = 1;
  char name[] = "notification_hold_test";
  char* argv[] = {name, nullptr};
  const QCoreApplication application(argc, argv);
  const test::TempDir directory;
  const std::filesystem::path record = directory.Path() / "notification-hold";
  DesktopNotificationHold hold(record);
  EXPECT_EQ(hold.Hold(), Result::kUnavailable);

  test::ChildProcess server({"/usr/bin/python3", LUMIVANTA_INHIBITING_SERVER}, true, {},
                            {"DBUS_SESSION_BUS_ADDRESS=" + bus.Address()});
  ASSERT_EQ(server.ReadLine(20s), "ready") << server.ErrorOutput();
  {
    DesktopNotificationHold ending(record);
    EXPECT_EQ(ending.Hold(), Result::kTaken);
    EXPECT_EQ(ending.Hold(), Result::kAlreadyHeld);
    EXPECT_EQ(server.ReadLine(5s), "inhibit 1 lumivanta");
    ending.Release();
    EXPECT_EQ(server.ReadLine(5s), "uninhibit 1");
    // The server ends an inhibition with its holder's connection: nothing is noted for a crash.
    EXPECT_EQ(ending.Hold(), Result::kTaken);
    EXPECT_FALSE(std::filesystem::exists(record));
  }  // the end of the program releases it
  EXPECT_EQ(server.ReadLine(5s), "inhibit 2 lumivanta");
  EXPECT_EQ(server.ReadLine(5s), "uninhibit 2");
}

}  // namespace
}  // namespace lumivanta
