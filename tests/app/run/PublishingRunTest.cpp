// The run's rules without widgets: the gate of every command, the publishing
// modes and the slideshow's states, the hotkeys of the command table, the
// settings sequence, start-up and the end of the run. The window is a
// recording fake; the picture server a loopback peer that answers
// "connectok" to everything.

#include "app/run/PublishingRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "strings/StringTable.h"
#include "tests/support/FakeGlobalHotkeys.h"
#include "tests/support/FakeRunWindow.h"
#include "tests/support/FakeScreenSource.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/RunState.h"
#include "tests/support/TempDir.h"
#include "tests/support/UploadedPicture.h"

namespace lumivanta {

// What the tests look at inside the run: whether its publisher's worker runs.
class PublishingRunProbe {
 public:
  static bool PublisherBusy(const PublishingRun& run) { return run.publisher_->IsBusy(); }
};

namespace {

using Events = std::vector<std::string>;

constexpr const char* kRefusingServerUrl = "http://127.0.0.1:1/";

std::string Logged(unsigned id) { return "log " + std::to_string(id) + " stamped"; }
std::string LoggedText(const std::string& text) { return "log \"" + text + "\" stamped"; }
std::string Shown(unsigned id) { return "information \"" + std::string(Text(id)) + "\""; }
std::string ShownText(const std::string& text) { return "information \"" + text + "\""; }
std::string Refused(int port) { return "connection refused (127.0.0.1:" + std::to_string(port) + ")"; }

class PublishingRunTest : public ::testing::Test {
 protected:
  PublishingRunTest() : in_directory_(directory_.Path()), config_home_("XDG_CONFIG_HOME", directory_.File("config")) {
    PointAt(server_.Url("/"), "run");
    run_.Settings().picture_size = 24;
  }

  void PointAt(const std::string& server_url, const std::string& contact_name) {
    CSettings& settings = run_.Settings();
    settings.server_url = server_url;
    settings.contact_name = contact_name;
    settings.UpdateServerAddresses();
  }

  // The requests the server has seen, once the publish job has finished.
  std::vector<std::string> Requests() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PublishingRunProbe::PublisherBusy(run_) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return server_.Requests();
  }
  std::size_t Uploads() {
    std::size_t uploads = 0;
    for (const std::string& request : Requests()) {
      uploads += request.starts_with("POST ") ? 1 : 0;
    }
    return uploads;
  }

  void StartSlideshow() {
    run_.OnSlideshow();
    ASSERT_TRUE(run_.IsSlideshowRunning());
    window_.Take();
  }

  test::TempDir directory_;
  test::ScopedCurrentDirectory in_directory_;
  test::ScopedEnvironment config_home_;
  test::LoopbackServer server_{test::HttpResponse("200 OK", "connectok")};
  test::FakeRunWindow window_;
  FakeGlobalHotkeys hotkeys_;
  FakeScreenSource screen_{64, 48};
  PublishingRun run_{window_, hotkeys_, &screen_};
};

TEST_F(PublishingRunTest, PublishTestsTheConnectionOnceThenReportsEveryPicture) {
  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kConnectionTested), "clear screen", Logged(ids::kPictureSent),
                                    Shown(ids::kPictureSent)}));
  ASSERT_EQ(Requests().size(), 2u);  // a picture handed over while the last one uploads would be dropped
  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{"clear screen", Logged(ids::kPictureSent), Shown(ids::kPictureSent)}));

  const std::vector<std::string> requests = Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests[0].starts_with("GET /?server&stream_name=run&fkt=end HTTP/1.0"));
  const test::DecodedJpeg picture = test::DecodeJpeg(test::UploadedPicture(requests[2]));
  EXPECT_EQ(picture.width, 32u);
  EXPECT_EQ(picture.height, 24u);
  EXPECT_TRUE(test::InSinglePictureMode(run_));
  EXPECT_EQ(window_.shown_marks[0].checked, true);
  EXPECT_EQ(window_.shown_marks[1].checked, false);
}

TEST_F(PublishingRunTest, ACaptureThatFailsUploadsNothingAndSaysSoOncePerSlideshowRun) {
  run_.Settings().connected = true;
  screen_.BecomeUnavailable("no portal");
  EXPECT_EQ(window_.Take(), (Events{LoggedText("The screen cannot be captured on this desktop: no portal")}));
  screen_.fail = true;
  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{"clear screen", Logged(ids::kNothingCaptured), Shown(ids::kNothingCaptured)}));
  // The slideshow continues the run of failures that the command began.
  run_.OnSlideshow();
  EXPECT_EQ(window_.Take(),
            (Events{Logged(ids::kSlideshowStarted), "clear screen", Shown(ids::kSlideshowStarted), "timer 1000"}));
  run_.OnTimer();
  run_.OnTimer();
  EXPECT_TRUE(window_.Take().empty());
  screen_.fail = false;
  run_.OnTimer();
  screen_.fail = true;
  run_.OnTimer();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kNothingCaptured)}));
  EXPECT_EQ(Uploads(), 1u);
}

TEST_F(PublishingRunTest, APointerThatCannotBeShownIsNamedOncePerRun) {
  run_.OnShowMouseCursor();
  run_.OnShowMouseCursor();
  EXPECT_TRUE(window_.Take().empty());
  screen_.drawing = PointerDrawing::kNone;
  run_.OnShowMouseCursor();
  run_.OnShowMouseCursor();
  run_.OnShowMouseCursor();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kPointerUnavailable)}));
  EXPECT_TRUE(test::ShowsPointer(run_));
}

TEST_F(PublishingRunTest, TheSlideshowStartsAfterItsDialogAndPublishStopsItFirst) {
  run_.Settings().connected = true;
  run_.OnSlideshow();
  EXPECT_EQ(window_.Take(),
            (Events{Logged(ids::kSlideshowStarted), "clear screen", Shown(ids::kSlideshowStarted), "timer 1000"}));
  EXPECT_FALSE(test::InSinglePictureMode(run_));
  EXPECT_EQ(run_.Marks()[1].checked, true);
  EXPECT_EQ(Uploads(), 1u);  // the first picture goes out at once, without a report

  run_.OnTimer();
  EXPECT_TRUE(window_.Take().empty());
  EXPECT_EQ(Uploads(), 2u);

  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{"timer stopped", Logged(ids::kSlideshowStopped), Shown(ids::kSlideshowStopped),
                                    "clear screen", Logged(ids::kPictureSent), Shown(ids::kPictureSent)}));
  EXPECT_TRUE(test::InSinglePictureMode(run_));
  EXPECT_FALSE(run_.IsSlideshowRunning());
  EXPECT_EQ(window_.shown_marks[0].checked, true);
}

TEST_F(PublishingRunTest, AFailedConnectionTestComesFirstAndChangesNothing) {
  PointAt(kRefusingServerUrl, "run");
  run_.OnPublishScreen();
  run_.OnSlideshow();
  const std::string cause = LoggedText("Cause: " + Refused(1));
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kConnectionFailed), cause, Logged(ids::kConnectionFailed), cause}));
  EXPECT_EQ(screen_.grabs, 0);
  EXPECT_TRUE(test::InSinglePictureMode(run_));

  // A running slideshow whose server went away: neither command stops it, and
  // each tick tests the connection and captures nothing.
  PointAt(server_.Url("/"), "run");
  StartSlideshow();
  PointAt(kRefusingServerUrl, "run");
  run_.Settings().connected = false;
  const int grabs = screen_.grabs;
  run_.OnSlideshow();
  run_.OnTimer();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kConnectionFailed), cause, Logged(ids::kConnectionFailed), cause}));
  // The ticks that follow test again without a line: the run of failures is said.
  run_.OnTimer();
  EXPECT_TRUE(window_.Take().empty());
  EXPECT_TRUE(run_.IsSlideshowRunning());
  EXPECT_EQ(screen_.grabs, grabs);
}

TEST_F(PublishingRunTest, WhileADialogIsOpenTicksCaptureNothingAndHotkeysAreLost) {
  run_.RegisterHotkeys();
  StartSlideshow();
  const int grabs = screen_.grabs;
  window_.while_information_open = [&](std::string_view) {
    EXPECT_TRUE(test::DialogOpen(run_));
    run_.OnTimer();
    hotkeys_.Press('S');
    hotkeys_.Press('M');
  };
  run_.ShowInformation(ids::kPicturesDeleted);
  EXPECT_EQ(window_.Take(), (Events{Shown(ids::kPicturesDeleted)}));
  EXPECT_EQ(screen_.grabs, grabs);
  EXPECT_TRUE(run_.IsSlideshowRunning());
  EXPECT_FALSE(test::ShowsPointer(run_));
  EXPECT_FALSE(test::DialogOpen(run_));
  EXPECT_EQ(run_.WhyHotkeyIsDropped(), "");

  run_.OnTimer();
  EXPECT_EQ(screen_.grabs, grabs + 1);
}

TEST_F(PublishingRunTest, HotkeysFollowTheCommandTable) {
  hotkeys_.taken_keys = {'O'};
  run_.RegisterHotkeys();
  std::string keys;
  for (std::size_t row = 0; row < hotkeys_.calls.size(); ++row) {
    EXPECT_EQ(hotkeys_.calls[row].id, static_cast<int>(row + 1));
    keys += hotkeys_.calls[row].key;
  }
  EXPECT_EQ(keys, "PSMODR");
  EXPECT_FALSE(hotkeys_.Press('O'));  // held by another program: simply absent

  // Ctrl+M in the single-picture mode publishes at once, with the arrow at
  // the pointer, and without clearing the screen first.
  run_.Settings().picture_size = 0;
  screen_.pointer = PointerState{true, 10, 20};
  ASSERT_TRUE(hotkeys_.Press('M'));
  EXPECT_EQ(window_.Take(),
            (Events{Logged(ids::kConnectionTested), Logged(ids::kPictureSent), Shown(ids::kPictureSent)}));
  EXPECT_TRUE(test::ShowsPointer(run_));
  const test::DecodedJpeg picture = test::DecodeJpeg(test::UploadedPicture(Requests().back()));
  ASSERT_EQ(picture.width, 64u);
  EXPECT_GT(picture.At(12, 30)[0], 200);  // red inside the arrow
  EXPECT_LT(picture.At(12, 30)[1], 80);

  // During a slideshow Ctrl+M only switches; Ctrl+D stops the slideshow, then deletes.
  StartSlideshow();
  const int grabs = screen_.grabs;
  hotkeys_.Press('M');
  EXPECT_FALSE(test::ShowsPointer(run_));
  EXPECT_EQ(screen_.grabs, grabs);
  hotkeys_.Press('D');
  EXPECT_EQ(window_.Take(), (Events{"timer stopped", Logged(ids::kSlideshowStopped), Shown(ids::kSlideshowStopped),
                                    Logged(ids::kPicturesDeleted), Shown(ids::kPicturesDeleted)}));
  hotkeys_.Press('R');
  EXPECT_EQ(window_.Take(), (Events{"toggle window"}));
}

TEST_F(PublishingRunTest, TheEndOfTheRunReleasesTheHotkeysSavesAndSendsTheDeleteRequest) {
  run_.RegisterHotkeys();
  run_.EndRun();
  EXPECT_TRUE(hotkeys_.registered.empty());
  // Each of the six registered once and released once: a line logged at the
  // end does not register them again, as the log's first line stays written.
  int registered = 0;
  int released = 0;
  for (const auto& call : hotkeys_.calls) {
    (call.registering ? registered : released) += 1;
  }
  EXPECT_EQ(registered, 6);
  EXPECT_EQ(released, 6);
  EXPECT_TRUE(run_.HotkeysRegistered());
  EXPECT_TRUE(std::filesystem::is_regular_file("lumivanta.lic"));
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_TRUE(server_.Requests()[0].starts_with("GET /?server&stream_name=run&fkt=end HTTP/1.0"));
}

TEST_F(PublishingRunTest, StartUpTestsTheConnectionOrRunsTheWizard) {
  window_.settings_page = [](CSettings&) { return false; };
  run_.StartUp();  // no configuration file
  EXPECT_EQ(window_.Take(), (Events{"welcome page", "settings page"}));
  EXPECT_TRUE(server_.Requests().empty());

  PointAt(server_.Url("/"), "run");
  run_.Settings().Save();
  FakeGlobalHotkeys next_hotkeys;
  next_hotkeys.taken_keys = {'S'};
  PublishingRun next_run(window_, next_hotkeys, &screen_);
  next_run.RegisterHotkeys();
  next_run.StartUp();
  // The test runs aside: the window is shown at once and commands wait for nothing.
  EXPECT_EQ(window_.Take(), (Events{LoggedText("Another program holds this hotkey; it does nothing here: CTRL+S")}));
  EXPECT_TRUE(test::WaitingForServer(next_run));
  EXPECT_EQ(window_.shown_marks[0].checked, true);
  next_hotkeys.Press('P');
  window_.RunPosted();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kConnectionTested)}));
  EXPECT_TRUE(next_run.Settings().connected);
  EXPECT_FALSE(test::WaitingForServer(next_run));
  EXPECT_EQ(screen_.grabs, 0);  // the Ctrl+P pressed meanwhile was dropped

  // A desktop without system-wide hotkeys: one line, pointing to the command line.
  NoGlobalHotkeys none;
  PublishingRun third_run(window_, none, &screen_);
  third_run.RegisterHotkeys();
  third_run.StartUp();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kHotkeysUnavailable)}));
  EXPECT_NE(Text(ids::kHotkeysUnavailable).find("lumivanta --publish"), std::string_view::npos);
}

TEST_F(PublishingRunTest, TheSettingsSequenceDeletesForTheOldNameAndTestsOnlyWhenTheServerSideChanged) {
  run_.RegisterHotkeys();
  run_.Settings().connected = true;
  window_.settings_page = [](CSettings&) { return true; };
  run_.OnOptions();
  EXPECT_EQ(window_.Take(), (Events{"settings page"}));
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_TRUE(std::filesystem::is_regular_file("lumivanta.lic"));  // kept as soon as confirmed

  // A new contact name: the old name's pictures are deleted before the test
  // page; Back shows the settings page again; hotkeys are lost meanwhile.
  int pages = 0;
  window_.settings_page = [&](CSettings& settings) {
    settings.contact_name = "renamed";
    settings.UpdateServerAddresses();
    return ++pages <= 2;
  };
  window_.test_page = [&](const std::function<bool()>& test_connection) {
    EXPECT_EQ(server_.Requests().size(), static_cast<std::size_t>(pages));  // the delete request came first
    hotkeys_.Press('S');
    return pages == 1 ? true : !test_connection();
  };
  run_.RunSettingsSequence();
  EXPECT_EQ(window_.Take(), (Events{"settings page", "connection test page", "settings page", "connection test page"}));
  const std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(requests[0].starts_with("GET /?server&stream_name=run&fkt=end "));
  EXPECT_TRUE(requests[1].starts_with("GET /?server&stream_name=renamed&fkt=end "));
  EXPECT_TRUE(requests[2].starts_with("GET /?server&stream_name=renamed&fkt=end "));
  EXPECT_TRUE(run_.Settings().connected);
  EXPECT_FALSE(run_.IsSlideshowRunning());
  EXPECT_FALSE(test::DialogOpen(run_));
}

TEST_F(PublishingRunTest, OnlyANewRefreshRateAloneRestartsARunningSlideshow) {
  StartSlideshow();
  window_.settings_page = [](CSettings& settings) {
    settings.refresh_rate_ms = 3000;
    return true;
  };
  run_.RunSettingsSequence();
  EXPECT_EQ(window_.Take(), (Events{"settings page", "timer stopped", "timer 3000"}));

  // Together with a new name the rate waits for the next start.
  window_.settings_page = [](CSettings& settings) {
    settings.refresh_rate_ms = 2000;
    settings.contact_name = "other";
    settings.UpdateServerAddresses();
    return true;
  };
  run_.RunSettingsSequence();
  EXPECT_EQ(window_.Take(), (Events{"settings page", "connection test page"}));
  EXPECT_EQ(window_.timer_interval_ms, 3000);
}

TEST_F(PublishingRunTest, AFailedUploadIsReportedWithItsCauseAndTheNextPublicationTestsAgain) {
  // The connection test passes (a server error with the right body is reachable); uploads fail.
  test::LoopbackServer failing(test::HttpResponse("503 Service Unavailable", "connectok"));
  PointAt(failing.Url("/"), "run");
  const std::string failed = "Upload failed: HTTP status 503 (127.0.0.1:" + std::to_string(failing.Port()) + ")";
  run_.OnPublishScreen();
  window_.Take();
  window_.RunPosted();
  EXPECT_EQ(window_.Take(), (Events{LoggedText(failed), ShownText(failed)}));
  EXPECT_FALSE(run_.Settings().connected);

  // A slideshow says it once per run of failures (this one began above): its
  // ticks test the connection again without a line, and it says when uploads work again.
  StartSlideshow();
  window_.RunPosted();
  run_.OnTimer();
  window_.RunPosted();
  EXPECT_TRUE(window_.Take().empty());
  PointAt(server_.Url("/"), "run");
  run_.OnTimer();
  window_.RunPosted();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kUploadsWorkAgain)}));
}

// What the tray icon and the notifications hear of the run.
struct RecordingListener : RunListener {
  void OnSlideshowStarted() override { heard.push_back("slideshow started"); }
  void OnSlideshowStopped() override { heard.push_back("slideshow stopped"); }
  void OnPictureHandedOver(bool single) override { heard.push_back(single ? "single picture" : "slideshow picture"); }
  void OnUploadSent() override { heard.push_back("sent"); }
  void OnUploadFailed(std::string_view line, bool first_of_a_run) override {
    heard.push_back((first_of_a_run ? "first failure: " : "failure: ") + std::string(line));
  }
  void OnUploadsWorkAgain() override { heard.push_back("work again"); }
  void OnViewersCounted(std::uint32_t viewers) override { heard.push_back("viewers " + std::to_string(viewers)); }
  Events heard;
};

TEST_F(PublishingRunTest, TheListenerHearsOfSlideshowsPicturesAndRunsOfFailedUploads) {
  test::LoopbackServer failing(test::HttpResponse("503 Service Unavailable", "connectok"));
  PointAt(failing.Url("/"), "run");
  const std::string failed = "Upload failed: HTTP status 503 (127.0.0.1:" + std::to_string(failing.Port()) + ")";
  RecordingListener listener;
  run_.SetListener(&listener);
  run_.OnPublishScreen();
  window_.RunPosted();
  StartSlideshow();
  window_.RunPosted();
  // A server that counts the viewers says so with each upload it takes.
  test::LoopbackServer watched(
      "HTTP/1.1 200 OK\r\nX-Lumivanta-Viewers: 2\r\nContent-Length: 9\r\nConnection: close\r\n\r\nconnectok");
  PointAt(watched.Url("/"), "run");
  run_.OnTimer();
  window_.RunPosted();
  // A picture that goes as the one before wakes nobody: it is heard at the slideshow's end.
  run_.OnTimer();
  Requests();
  window_.RunPosted(std::chrono::milliseconds(50));
  EXPECT_EQ(listener.heard.back(), "slideshow picture");
  run_.OnSlideshow();
  EXPECT_EQ(listener.heard,
            (Events{"single picture", "first failure: " + failed, "slideshow started", "slideshow picture",
                    "failure: " + failed, "slideshow picture", "work again", "sent", "viewers 2", "slideshow picture",
                    "sent", "viewers 2", "slideshow stopped"}));
  const Events logged = window_.Take();
  EXPECT_NE(std::find(logged.begin(), logged.end(), LoggedText("Viewers: 2")), logged.end());

  // Taken away, it hears nothing more.
  run_.SetListener(nullptr);
  run_.OnPublishScreen();
  window_.RunPosted();
  EXPECT_EQ(listener.heard.size(), 13u);
}

TEST_F(PublishingRunTest, PicturesDroppedWhileAnUploadRunsAreSaidOncePerSlideshowRunAndEachTimeByACommand) {
  test::LoopbackServer stalled("", test::LoopbackServer::Behaviour::kNeverAnswer);
  PointAt(stalled.Url("/"), "run");
  run_.Settings().connected = true;
  StartSlideshow();
  ASSERT_FALSE(stalled.WaitForRequest(1).empty());
  run_.OnTimer();
  run_.OnTimer();
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kPictureDropped)}));
  // Never "Picture sent." for a picture that was not.
  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{"timer stopped", Logged(ids::kSlideshowStopped), Shown(ids::kSlideshowStopped),
                                    "clear screen", Logged(ids::kPictureDropped), Shown(ids::kPictureDropped)}));
}

TEST_F(PublishingRunTest, WhileTheRunWaitsForTheServerCommandsAndTicksAreDropped) {
  run_.RegisterHotkeys();
  StartSlideshow();
  run_.Settings().connected = false;
  const int grabs = screen_.grabs;
  window_.while_waiting = [&] {
    EXPECT_EQ(run_.WhyHotkeyIsDropped(), "a request to the server is pending");
    hotkeys_.Press('S');
    run_.OnTimer();
  };
  run_.OnTimer();                       // tests the connection first
  EXPECT_EQ(screen_.grabs, grabs + 1);  // only the tick that waited captured
  EXPECT_TRUE(run_.IsSlideshowRunning());
  EXPECT_FALSE(test::WaitingForServer(run_));
}

TEST_F(PublishingRunTest, GlobalHotkeysCanBeTurnedOffAndTheChoiceIsKept) {
  run_.RegisterHotkeys();
  run_.OnGlobalHotkeys();
  EXPECT_TRUE(hotkeys_.registered.empty());
  EXPECT_FALSE(run_.Marks()[3].checked);
  EXPECT_EQ(window_.Take(), (Events{Logged(ids::kGlobalHotkeysOff)}));
  EXPECT_NE(test::ReadWholeFile(directory_.File("config/lumivanta/preferences")).find("global-hotkeys=off"),
            std::string::npos);

  // The next run starts with them off; turned on, they are grabbed again.
  FakeGlobalHotkeys next_hotkeys;
  PublishingRun next_run(window_, next_hotkeys, &screen_);
  next_run.RegisterHotkeys();
  EXPECT_TRUE(next_hotkeys.registered.empty());
  EXPECT_TRUE(next_run.HotkeysRegistered());  // the log's first line is written all the same
  next_run.OnGlobalHotkeys();
  EXPECT_EQ(next_hotkeys.registered.size(), 6u);
  EXPECT_TRUE(next_run.Marks()[3].checked);
}

// A notification hold that writes among the window's events what it takes and lets go.
struct RecordingHold : NotificationHold {
  explicit RecordingHold(test::FakeRunWindow& window) : window(window) {}
  Result Hold() override {
    if (unavailable || std::exchange(held, true)) {
      return unavailable ? Result::kUnavailable : Result::kAlreadyHeld;
    }
    window.events.push_back("hold");
    return Result::kTaken;
  }
  void Release() override {
    if (std::exchange(held, false)) {
      window.events.push_back("release");
    }
  }
  test::FakeRunWindow& window;
  bool held = false;
  bool unavailable = false;
};

TEST_F(PublishingRunTest, NotificationsAreHeldBackWhileOnAirUnlessTurnedOffOrTheDesktopCannot) {
  RecordingHold hold(window_);
  run_.SetNotificationHold(&hold);
  run_.Settings().connected = true;
  // A single picture: held before the window goes, let go once the screen is captured.
  run_.OnPublishScreen();
  EXPECT_EQ(window_.Take(), (Events{"hold", "clear screen, pop-ups leaving", "release", Logged(ids::kPictureSent),
                                    Shown(ids::kPictureSent)}));
  Uploads();
  // A slideshow: for as long as it runs; turned off meanwhile, at once.
  run_.OnSlideshow();
  run_.OnNotificationHold();
  run_.OnSlideshow();
  EXPECT_EQ(window_.Take(),
            (Events{Logged(ids::kSlideshowStarted), "hold", "clear screen, pop-ups leaving",
                    Shown(ids::kSlideshowStarted), "timer 1000", Logged(ids::kNotificationHoldOff), "release",
                    "timer stopped", Logged(ids::kSlideshowStopped), Shown(ids::kSlideshowStopped)}));
  EXPECT_FALSE(run_.Marks()[4].checked);
  EXPECT_NE(test::ReadWholeFile(directory_.File("config/lumivanta/preferences")).find("notification-hold=off"),
            std::string::npos);

  // A desktop that offers no way is named once, at the first slideshow.
  run_.OnNotificationHold();
  hold.unavailable = true;
  for (int slideshow = 0; slideshow < 2; ++slideshow) {
    run_.OnSlideshow();
    run_.OnSlideshow();
  }
  const Events events = window_.Take();
  EXPECT_EQ(std::count(events.begin(), events.end(), Logged(ids::kNotificationHoldUnavailable)), 1);
}

TEST(SlideshowInterval, IsAtLeastTenMillisecondsAndANegativeRateIsVeryLong) {
  EXPECT_EQ(SlideshowIntervalForRate(1000), 1000);
  EXPECT_EQ(SlideshowIntervalForRate(3), 10);
  EXPECT_EQ(SlideshowIntervalForRate(-1), INT_MAX);
}

}  // namespace
}  // namespace lumivanta
