// The program's presence beside its window, through real parts: its tray icon
// embedded in a real XEmbed tray host under a private X server, seen on its
// pixels and driven with the mouse and keys; and its notifications, received
// by a real notification server on a private session bus.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/DesktopServices.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PrivateSessionBus.h"
#include "tests/support/ProgramSession.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using test::kInformationTitle;
using test::kMainWindowTitle;

constexpr auto kLookChange = 5s;
// The on-air look is mostly red, the idle one has no red at all.
constexpr double kOnAirRedShare = 0.4;
constexpr double kIdleRedShare = 0.05;
// Longer than Qt's double-click interval.
constexpr auto kDoubleClickInterval = 1s;

class TrayIcon : public ::testing::Test {
 protected:
  bool LooksOnAir(Window icon, bool on_air) {
    return test::WaitUntil(
        [&] {
          const double red = tray_.RedShare(icon);
          return on_air ? red > kOnAirRedShare : red < kIdleRedShare;
        },
        kLookChange);
  }
  // Opens the icon's menu with a right click and picks its entry at this position (from 1).
  void PickFromMenu(Window icon, int entry) {
    const test::ScreenRect rect = tray_.Rect(icon);
    session_.Click(rect.CentreX(), rect.CentreY(), 3);
    ASSERT_TRUE(tray_.WaitForPopupMenu("lumivanta", 10s));
    std::vector<std::string> keys(static_cast<std::size_t>(entry), "Down");
    keys.push_back("Return");
    session_.PressHere(keys);
  }
  void CloseInformation() {
    ASSERT_TRUE(session_.PressIn(kInformationTitle, "Return"));
    ASSERT_TRUE(session_.WaitShown(kInformationTitle, false));
  }

  test::ProgramSession session_;
  test::TrayHost tray_{session_.X(), session_.DisplayName()};
};

TEST_F(TrayIcon, ShowsTheSlideshowOnAirRunsTheMenusCommandsAndTogglesTheWindow) {
  session_.StartProgram();
  ASSERT_TRUE(session_.WaitShown(kMainWindowTitle)) << session_.Program().ErrorOutput();
  ASSERT_TRUE(session_.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s));
  const std::optional<Window> icon = tray_.WaitForIcon(10s);
  ASSERT_TRUE(icon);
  EXPECT_TRUE(LooksOnAir(*icon, false)) << tray_.RedShare(*icon);

  // The menu's second entry starts the slideshow: a picture arrives and the icon goes on air.
  const std::uint64_t before = session_.State().sequence;
  PickFromMenu(*icon, 2);
  ASSERT_TRUE(session_.Program().WaitForErrorText("Slideshow started.", 10s)) << session_.Program().ErrorOutput();
  EXPECT_TRUE(session_.WaitForPictureAfter(before));
  EXPECT_TRUE(LooksOnAir(*icon, true)) << tray_.RedShare(*icon);
  CloseInformation();

  // Stopped by its hotkey, it goes back to idle.
  session_.Press("ctrl+s");
  ASSERT_TRUE(session_.Program().WaitForErrorText("Slideshow stopped.", 10s));
  EXPECT_TRUE(LooksOnAir(*icon, false)) << tray_.RedShare(*icon);
  CloseInformation();

  // A click restores the window that the slideshow minimised, and a second one minimises it again.
  ASSERT_FALSE(session_.IsShown(kMainWindowTitle));
  const test::ScreenRect rect = tray_.Rect(*icon);
  session_.Click(rect.CentreX(), rect.CentreY(), 1);
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle));
  // Apart enough not to be a double click, which only restores.
  std::this_thread::sleep_for(kDoubleClickInterval);
  session_.Click(rect.CentreX(), rect.CentreY(), 1);
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle, false));

  // The last entry ends the program the normal way: the delete request goes out.
  PickFromMenu(*icon, 9);
  EXPECT_EQ(session_.Program().WaitForExit(20s).exit_code, 0);
  EXPECT_FALSE(session_.State().present);
}

// While a slideshow runs, uploads fail at a server that passes the connection
// test but refuses every picture, until it takes them again. The tray icon
// shows the failure meanwhile.
TEST(Notifications, OnePerRunOfFailedUploadsAndOneForTheRecoveryInItsPlace) {
  test::LoopbackServer server(test::HttpResponse("200 OK", "connectok"));
  test::PrivateSessionBus bus;
  test::ProgramOptions options;
  options.server_url = server.Url("/");
  options.session_bus_address = bus.Address();
  options.refresh_rate_ms = 500;
  test::ProgramSession session(options);
  const test::NotificationServer notifications(session.DisplayName(), bus.Address());
  const test::TrayHost tray(session.X(), session.DisplayName());
  // The notices are about the slideshow, not held back with the pop-ups of others here.
  std::filesystem::create_directories(session.Directory().Path() / "config/lumivanta");
  test::WriteWholeFile(session.Directory().File("config/lumivanta/preferences"), "notification-hold=off\n");
  const auto uploads = [&] {
    std::size_t count = 0;
    for (const std::string& request : server.Requests()) {
      count += request.starts_with("POST ") ? 1 : 0;
    }
    return count;
  };

  session.StartProgram();
  ASSERT_TRUE(session.WaitShown(kMainWindowTitle)) << session.Program().ErrorOutput();
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s));
  const std::optional<Window> icon = tray.WaitForIcon(10s);
  ASSERT_TRUE(icon);
  session.Press("ctrl+s");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= 2; }, 20s)) << session.Program().ErrorOutput();
  EXPECT_LT(tray.AmberShare(*icon), kIdleRedShare);

  // Several uploads fail (each tick tests the connection again, then uploads): one notification.
  server.SetResponse(test::HttpResponse("503 Service Unavailable", "connectok"));
  const std::size_t failing_from = uploads();
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= failing_from + 4; }, 20s));
  ASSERT_TRUE(notifications.WaitForCount(1, 10s));
  EXPECT_TRUE(test::WaitUntil([&] { return tray.AmberShare(*icon) > kOnAirRedShare; }, kLookChange));
  server.SetResponse(test::HttpResponse("200 OK", "connectok"));
  ASSERT_TRUE(notifications.WaitForCount(2, 10s));
  const std::size_t recovered_at = uploads();
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= recovered_at + 3; }, 20s));
  EXPECT_TRUE(test::WaitUntil([&] { return tray.RedShare(*icon) > kOnAirRedShare; }, kLookChange));

  const std::vector<test::ShownNotification> shown = notifications.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].app_name, "Lumivanta");
  EXPECT_EQ(shown[0].summary, "Lumivanta: pictures do not reach the server");
  EXPECT_EQ(shown[0].body, "Upload failed: HTTP status 503 (127.0.0.1:" + std::to_string(server.Port()) + ")");
  EXPECT_EQ(shown[1].summary, "Lumivanta: pictures reach the server again");
  EXPECT_EQ(shown[1].body, "Pictures are uploaded again.");
  EXPECT_EQ(shown[1].id, shown[0].id);  // the recovery takes the failure's place
  EXPECT_EQ(test::ChildProcess::Occurrences(session.Program().ErrorOutput(), "Upload failed: "), 1u);
}

// A chat's pop-up while the screen is on the web: dunst holds it back while a
// slideshow runs and shows it once the slideshow stops; a hold that a crash
// left is released at the next start, and not by a second Lumivanta.
TEST(Notifications, APopUpDuringASlideshowIsInNoPictureAndShowsAfterItAndACrashLeavesNoHold) {
  test::PrivateSessionBus bus;
  test::ProgramOptions options;
  options.session_bus_address = bus.Address();
  options.refresh_rate_ms = 300;
  test::ProgramSession session(options);
  const test::NotificationServer notifications(session.DisplayName(), bus.Address());
  const auto popup_share = [](const test::DecodedJpeg& picture) {
    long popup = 0;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
      for (std::uint32_t x = 0; x < picture.width; ++x) {
        const std::uint8_t* rgb = picture.At(x, y);
        popup += test::IsPopUpColour(rgb[0], rgb[1], rgb[2]) ? 1 : 0;
      }
    }
    return static_cast<double>(popup) / (picture.width * picture.height);
  };
  const auto on_screen = [&] {
    return test::ColourShare(session.X(), DefaultRootWindow(session.X()), test::IsPopUpColour) > 0.01;
  };

  session.StartProgram();
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s))
      << session.Program().ErrorOutput();
  session.Press("ctrl+s");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
  EXPECT_TRUE(notifications.Paused());
  notifications.Send("Anna (private)", "Your test results came back, call me");
  std::uint64_t sequence = session.State().sequence;
  for (int picture = 0; picture < 3; ++picture) {
    const std::optional<test::ServerState> published = session.WaitForPictureAfter(sequence);
    ASSERT_TRUE(published) << session.Program().ErrorOutput();
    sequence = published->sequence;
    EXPECT_LT(popup_share(session.NewestPicture()), 0.001) << picture;
  }
  EXPECT_TRUE(notifications.Shown().empty());
  EXPECT_FALSE(on_screen());

  session.Press("ctrl+s");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
  ASSERT_TRUE(notifications.WaitForCount(1, 10s));
  EXPECT_EQ(notifications.Shown()[0].summary, "Anna (private)");
  EXPECT_TRUE(test::WaitUntil(on_screen, 10s));
  EXPECT_FALSE(notifications.Paused());

  // Held again, the program dies: a second Lumivanta leaves the hold to its
  // holder; the next start after the crash releases it.
  session.Press("ctrl+s");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
  ASSERT_TRUE(notifications.Paused());
  std::unique_ptr<test::ChildProcess> second;
  session.StartProgramIn(session.Directory().Path().string(), second);
  ASSERT_TRUE(second->WaitForErrorText("Connection to Web-Server was tested successfully.", 20s));
  EXPECT_TRUE(notifications.Paused());
  second.reset();
  ::kill(session.Program().Pid(), SIGKILL);
  session.Program().WaitForExit(10s);
  EXPECT_TRUE(notifications.Paused());
  session.StartProgram();
  EXPECT_TRUE(test::WaitUntil([&] { return !notifications.Paused(); }, 20s)) << session.Program().ErrorOutput();
}

// Where the notification server offers Inhibit (KDE Plasma's; here a small
// stand-in), each slideshow holds the pop-ups back with an inhibition, and
// SIGTERM lets go of it as the program ends.
TEST(Notifications, AnInhibitionHoldsThePopUpsForEachSlideshowUntilItStopsOrTheProgramEnds) {
  test::PrivateSessionBus bus;
  test::ProgramOptions options;
  options.session_bus_address = bus.Address();
  test::ProgramSession session(options);
  test::ChildProcess server({"/usr/bin/python3", LUMIVANTA_INHIBITING_SERVER}, true, {},
                            {"DBUS_SESSION_BUS_ADDRESS=" + bus.Address()});
  ASSERT_EQ(server.ReadLine(20s), "ready") << server.ErrorOutput();
  session.StartProgram();
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s));
  for (const char* expected : {"inhibit 1 lumivanta", "uninhibit 1", "inhibit 2 lumivanta"}) {
    session.Press("ctrl+s");
    ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
    EXPECT_EQ(server.ReadLine(10s), expected);
  }
  ::kill(session.Program().Pid(), SIGTERM);
  EXPECT_EQ(session.Program().WaitForExit(20s).exit_code, 0);
  EXPECT_EQ(server.ReadLine(10s), "uninhibit 2");
}

}  // namespace
}  // namespace lumivanta
