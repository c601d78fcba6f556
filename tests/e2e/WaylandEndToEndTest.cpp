// The real program as a native Wayland client of a private headless sway,
// capturing through the desktop portal and PipeWire and publishing to the
// real lumivanta-server; commands come from the command line, as a desktop's
// key binding sends them. grim's screenshot is what the screen shows.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "settings/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ExpectedPicture.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaylandSession.h"

namespace lumivanta {
namespace {

using test::ExpectedPicture;
using namespace std::chrono_literals;

constexpr const char* kContactName = "wayland";
constexpr const char* kInformationTitle = "Lumivanta: Hinweis";
constexpr const char* kMainWindowTitle = "Lumivanta - Your computer screen live on the internet!";
constexpr const char* kWizardTitle = "Lumivanta: New Connection Wizard";
constexpr auto kWait = 30s;

// Mean difference per channel of two pictures of one size; 255 when the sizes differ.
double MeanDifference(const test::DecodedJpeg& a, const test::DecodedJpeg& b) {
  if (a.width != b.width || a.height != b.height || a.width == 0) {
    return 255.0;
  }
  double total = 0;
  for (std::uint32_t row = 0; row < a.height; ++row) {
    for (std::uint32_t x = 0; x < a.width; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        total += std::abs(a.At(x, row)[channel] - b.At(x, row)[channel]);
      }
    }
  }
  return total / (3.0 * a.width * a.height);
}

// The whole output in #c03020.
test::OwnedScreen RedScreen() {
  test::OwnedScreen screen;
  screen.width = 1920;
  screen.height = 1080;
  screen.bytes_per_row = 1920 * 4;
  screen.pixels.resize(std::size_t{screen.bytes_per_row} * screen.height);
  for (std::size_t pixel = 0; pixel < screen.pixels.size(); pixel += 4) {
    screen.pixels[pixel] = 0x20;
    screen.pixels[pixel + 1] = 0x30;
    screen.pixels[pixel + 2] = 0xc0;
  }
  return screen;
}

class WaylandEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = test::MissingWaylandTool(); !missing.empty()) {
      GTEST_SKIP() << missing << " is missing (scripts/install-deps --tests installs it)";
    }
  }

  void StartSession(bool screencast, bool global_shortcuts = false, std::int32_t refresh_rate_ms = 1000) {
    session_.emplace(test::WaylandSessionOptions{.screencast = screencast, .global_shortcuts = global_shortcuts});
    CSettings settings;
    settings.file_name = program_directory_.File("lumivanta.lic");
    settings.server_url = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/";
    settings.contact_name = kContactName;
    settings.refresh_rate_ms = refresh_rate_ms;
    settings.picture_size = 600;
    settings.picture_quality = 1;
    settings.Save();
  }

  test::ChildProcess& StartProgram() {
    std::vector<std::string> environment = session_->Environment();
    environment.push_back("no_proxy=127.0.0.1");
    program_.emplace(std::vector<std::string>{LUMIVANTA_PROGRAM}, true, program_directory_.Path().string(),
                     environment);
    return *program_;
  }

  // Sends a command from the command line, as a key binding of the desktop does.
  void Send(const std::string& option) {
    std::vector<std::string> environment = session_->Environment();
    test::ChildProcess sender({LUMIVANTA_PROGRAM, option}, true, program_directory_.Path().string(), environment);
    const test::ChildProcess::Finished finished = sender.WaitForExit(kWait);
    ASSERT_EQ(finished.exit_code, 0) << finished.err;
  }

  std::uint64_t Sequence() const {
    const test::HttpAnswer answer =
        test::Get(server_.Port(), std::string("/pictures/") + kContactName + "/latest.json");
    std::smatch match;
    if (answer.body.find("\"present\":true") != std::string::npos &&
        std::regex_search(answer.body, match, std::regex("\"sequence\":([0-9]+)"))) {
      return std::stoull(match[1]);
    }
    return 0;
  }
  bool WaitForPictureAfter(std::uint64_t sequence) const {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Sequence() > sequence) {
        return true;
      }
      std::this_thread::sleep_for(25ms);
    }
    return false;
  }
  test::DecodedJpeg NewestPicture() const {
    return test::DecodeJpeg(test::NewestPicture(server_.Port(), kContactName).body);
  }

  // Waits until the compositor shows the picture (grim's screenshot says so;
  // no window may cover it): a new background takes a while on a loaded machine.
  void WaitUntilShown(const std::string& name, const test::OwnedScreen& shown) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    const test::DecodedJpeg expected = ExpectedPicture(shown);
    while (MeanDifference(ExpectedPicture(test::LoadPng(session_->Screenshot(name + "-before.png"))), expected) >=
               1.5 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(50ms);
    }
  }

  // Publishes what the screen shows now and checks the picture against
  // the picture shown and against grim's screenshot afterwards, with the
  // information dialog closed and the main window still put away.
  void PublishAndCompare(const std::string& name, const test::OwnedScreen& shown) {
    // Frames come when the screen changes: a moment for the change to reach
    // the stream, after the compositor shows it (when no window covers it).
    if (!session_->HasWindow(kMainWindowTitle)) {
      WaitUntilShown(name, shown);
    }
    std::this_thread::sleep_for(300ms);
    const std::uint64_t before = Sequence();
    const auto sent = std::chrono::steady_clock::now();
    Send("--publish");
    ASSERT_TRUE(WaitForPictureAfter(before)) << program_->ErrorOutput();
    const auto stored = std::chrono::steady_clock::now();
    std::printf("[ figures  ] %s: from --publish to the picture at the server %lld ms\n", name.c_str(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(stored - sent).count()));
    const test::DecodedJpeg received = NewestPicture();
    ASSERT_EQ(received.width, 1066u);
    ASSERT_EQ(received.height, 600u);
    EXPECT_LT(MeanDifference(received, ExpectedPicture(shown)), 1.5) << name;
    // The information dialog takes no key until it has the focus; Enter closes
    // it. Without the main window it stands alone, floating at its own size.
    EXPECT_EQ(session_->WaitFocusedFloats(kInformationTitle, kWait), std::optional<bool>(true));
    EXPECT_FALSE(session_->HasWindow(kMainWindowTitle));
    session_->Type({"-k", "Return"});
    ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait)) << program_->ErrorOutput();
    EXPECT_LT(MeanDifference(received, ExpectedPicture(test::LoadPng(session_->Screenshot(name + ".png")))), 1.5)
        << name;
  }

  test::ServerProcess server_;
  test::TempDir program_directory_;
  std::optional<test::WaylandSession> session_;
  std::optional<test::ChildProcess> program_;
};

TEST_F(WaylandEndToEnd, PublishPutsTheWindowAwayAndSendsWhatTheScreenShowsAfterEachChange) {
  StartSession(true);
  const auto started = std::chrono::steady_clock::now();
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen (1920x1080 BGRx)", kWait))
      << program_->ErrorOutput() << session_->Logs();
  std::printf(
      "[ figures  ] from the start of the program to the cast's format %lld ms\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count()));
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));

  ASSERT_TRUE(session_->WaitWindow(kMainWindowTitle, true, kWait));

  // The main window goes out of the way for the capture (sway cannot
  // minimise it: it is hidden) and stays away until --show.
  const test::OwnedScreen test_screen = test::LoadTestScreen();
  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  PublishAndCompare("test-screen", test_screen);
  session_->ShowColour("#c03020");
  PublishAndCompare("red", RedScreen());
  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  PublishAndCompare("test-screen-again", test_screen);
  Send("--show");
  EXPECT_TRUE(session_->WaitWindow(kMainWindowTitle, true, kWait));

  // This portal can embed the pointer: --cursor casts again with it, and
  // publishing goes on (the headless output has no pointer to see).
  const std::uint64_t before_cursor = Sequence();
  Send("--cursor");
  ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen", kWait, 2)) << program_->ErrorOutput();
  ASSERT_TRUE(WaitForPictureAfter(before_cursor));  // Ctrl+M publishes at once in the single-picture mode
  ASSERT_TRUE(session_->WaitFocusedFloats(kInformationTitle, kWait));
  session_->Type({"-k", "Return"});
  ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait));
  session_->ShowColour("#c03020");
  PublishAndCompare("red-after-cursor", RedScreen());
  EXPECT_EQ(program_->ErrorOutput().find("cannot be shown"), std::string::npos);

  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "Picture sent."), 5u);
  EXPECT_EQ(program_->ErrorOutput().find("Nothing was captured"), std::string::npos);
}

// As the README tells sway users: sway's own binding runs the command line
// (as sway's user), whatever window has the focus.
TEST_F(WaylandEndToEnd, CtrlPBoundInSwayRunsPublishAndOnePictureArrives) {
  StartSession(true);
  // Shown before the main window covers the output (sway tiles it over the whole of it).
  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  WaitUntilShown("test-screen", test::LoadTestScreen());
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen", kWait))
      << program_->ErrorOutput() << session_->Logs();
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));
  ASSERT_TRUE(session_->WaitWindow(kMainWindowTitle, true, kWait));
  session_->Run({"/usr/bin/swaymsg", "bindsym", "ctrl+p", "exec", std::string(LUMIVANTA_PROGRAM) + " --publish"});
  session_->Type({"-M", "ctrl", "p", "-m", "ctrl"});
  ASSERT_TRUE(WaitForPictureAfter(0)) << program_->ErrorOutput() << session_->Logs();
  const std::uint64_t published = Sequence();
  EXPECT_LT(MeanDifference(NewestPicture(), ExpectedPicture(test::LoadTestScreen())), 1.5);
  ASSERT_TRUE(session_->WaitWindow(kInformationTitle, true, kWait));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Sequence(), published);
  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "Picture sent."), 1u);
}

TEST_F(WaylandEndToEnd, AStaleRestoreTokenGivesWayToAFreshOneThatTheNextRunUses) {
  StartSession(true);
  const std::string token_file = session_->Directory().File("state/lumivanta/screencast-restore-token");
  std::filesystem::create_directories(std::filesystem::path(token_file).parent_path());
  test::WriteWholeFile(token_file, "stale-token\n");
  // Without a configuration file the first-run wizard's welcome page comes
  // while the cast starts; it floats at its own size.
  std::filesystem::remove(program_directory_.File("lumivanta.lic"));
  for (int run = 0; run < 2; ++run) {
    StartProgram();
    EXPECT_EQ(session_->WaitFocusedFloats(kWizardTitle, kWait), std::optional<bool>(true));
    ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen", kWait))
        << program_->ErrorOutput() << session_->Logs();
    const std::string token = test::ReadWholeFile(token_file);
    EXPECT_NE(token, "stale-token\n");
    EXPECT_GT(token.size(), 8u);
    program_.reset();
  }
}

TEST_F(WaylandEndToEnd, TheSixHotkeysAreBoundAsGlobalShortcutsAndAnActivatedOneRunsItsCommand) {
  if (const std::string missing = test::MissingShortcutsBackendTool(); !missing.empty()) {
    GTEST_SKIP() << missing << " is missing (scripts/install-deps --tests installs it)";
  }
  StartSession(true, true);
  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  WaitUntilShown("test-screen", test::LoadTestScreen());
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen", kWait))
      << program_->ErrorOutput() << session_->Logs();
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));
  std::vector<std::string> bound;
  const auto deadline = std::chrono::steady_clock::now() + kWait;
  while (bound.size() < 6 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
    bound = session_->BoundShortcuts();
  }
  EXPECT_EQ(bound, (std::vector<std::string>{"hotkey1", "hotkey2", "hotkey3", "hotkey4", "hotkey5", "hotkey6"}))
      << program_->ErrorOutput() << session_->Logs();
  EXPECT_EQ(program_->ErrorOutput().find("Global hotkeys are not available"), std::string::npos);

  // Ctrl+P's shortcut publishes, as the hotkey does.
  session_->ActivateShortcut("hotkey1");
  ASSERT_TRUE(WaitForPictureAfter(0)) << program_->ErrorOutput() << session_->Logs();
  EXPECT_LT(MeanDifference(NewestPicture(), ExpectedPicture(test::LoadTestScreen())), 1.5);
  ASSERT_TRUE(program_->WaitForErrorText("Picture sent.", kWait));
}

TEST_F(WaylandEndToEnd, ASlideshowPublishesAtAboutItsRateWhileTheScreenChanges) {
  StartSession(true, false, 500);
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("the desktop portal casts the screen", kWait))
      << program_->ErrorOutput() << session_->Logs();
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));
  session_->ShowColour("#c03020");
  Send("--slideshow");
  // The timer starts once the dialog is closed.
  ASSERT_TRUE(session_->WaitFocusedFloats(kInformationTitle, kWait));
  session_->Type({"-k", "Return"});
  ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait));
  const std::uint64_t first = Sequence();
  const auto start = std::chrono::steady_clock::now();
  for (int change = 0; change < 10; ++change) {
    session_->ShowColour(change % 2 == 0 ? "#204060" : "#c03020");
    std::this_thread::sleep_for(200ms);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::uint64_t published = Sequence() - first;
  std::printf("[ figures  ] slideshow at 500 ms: %llu pictures in %.2f s\n", static_cast<unsigned long long>(published),
              seconds);
  // About two a second (the fastest rate the settings take); a loaded machine
  // may drop a few while an upload runs.
  EXPECT_GE(published, static_cast<std::uint64_t>(seconds * 2 * 0.5));
  EXPECT_LE(published, static_cast<std::uint64_t>(seconds * 2 * 1.5) + 1);
  EXPECT_EQ(program_->ErrorOutput().find("Nothing was captured"), std::string::npos);
}

TEST_F(WaylandEndToEnd, WithoutScreenCastThePublicationSaysSoAndUploadsNothing) {
  StartSession(false);
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("The screen cannot be captured on this desktop: ", kWait))
      << program_->ErrorOutput() << session_->Logs();
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));
  // Nor does this desktop offer global shortcuts: one line says so.
  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "Global hotkeys are not available"), 1u);
  Send("--publish");
  ASSERT_TRUE(program_->WaitForErrorText("Nothing was captured: no picture was published.", kWait));
  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "The screen cannot be captured"), 1u);
  EXPECT_EQ(program_->ErrorOutput().find("Picture sent."), std::string::npos);
  // Nor can the pointer be shown: Ctrl+M says so once.
  ASSERT_TRUE(session_->WaitFocusedFloats(kInformationTitle, kWait));
  session_->Type({"-k", "Return"});
  ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait));
  Send("--cursor");
  ASSERT_TRUE(program_->WaitForErrorText("The mouse pointer cannot be shown in the pictures on this desktop.", kWait));
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Sequence(), 0u);
  EXPECT_TRUE(program_->IsRunning());
  // The settings page floats at its own size.
  ASSERT_TRUE(session_->WaitFocusedFloats(kInformationTitle, kWait));  // Ctrl+M's "nothing captured"
  session_->Type({"-k", "Return"});
  ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait));
  Send("--options");
  EXPECT_EQ(session_->WaitFocusedFloats(kWizardTitle, kWait), std::optional<bool>(true));
}

}  // namespace
}  // namespace lumivanta
