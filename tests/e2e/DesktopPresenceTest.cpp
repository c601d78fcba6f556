// The program's presence beside its window, through real parts: its tray icon
// embedded in a real XEmbed tray host under a private X server, seen on its
// pixels and driven with the mouse and keys; and its notifications, received
// by a real notification server on a private session bus.

#include <gtest/gtest.h>

#include <chrono>
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
// test but refuses every picture, until it takes them again.
TEST(Notifications, OnePerRunOfFailedUploadsAndOneForTheRecovery) {
  test::LoopbackServer server(test::HttpResponse("200 OK", "connectok"));
  test::PrivateSessionBus bus;
  test::ProgramOptions options;
  options.server_url = server.Url("/");
  options.session_bus_address = bus.Address();
  options.refresh_rate_ms = 500;
  test::ProgramSession session(options);
  const test::NotificationServer notifications(session.DisplayName(), bus.Address());
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
  session.Press("ctrl+s");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= 2; }, 20s)) << session.Program().ErrorOutput();

  // Several uploads fail (each tick tests the connection again, then uploads): one notification.
  server.SetResponse(test::HttpResponse("503 Service Unavailable", "connectok"));
  const std::size_t failing_from = uploads();
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= failing_from + 4; }, 20s));
  ASSERT_TRUE(notifications.WaitForCount(1, 10s));
  server.SetResponse(test::HttpResponse("200 OK", "connectok"));
  ASSERT_TRUE(notifications.WaitForCount(2, 10s));
  const std::size_t recovered_at = uploads();
  ASSERT_TRUE(test::WaitUntil([&] { return uploads() >= recovered_at + 3; }, 20s));

  const std::vector<test::ShownNotification> shown = notifications.Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].app_name, "Lumivanta");
  EXPECT_EQ(shown[0].summary, "Lumivanta: pictures do not reach the server");
  EXPECT_EQ(shown[0].body, "Upload failed: HTTP status 503 (127.0.0.1:" + std::to_string(server.Port()) + ")");
  EXPECT_EQ(shown[1].summary, "Lumivanta: pictures reach the server again");
  EXPECT_EQ(shown[1].body, "Pictures are uploaded again.");
  EXPECT_EQ(test::ChildProcess::Occurrences(session.Program().ErrorOutput(), "Upload failed: "), 1u);
}

}  // namespace
}  // namespace lumivanta
