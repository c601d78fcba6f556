// The real program under a real X server with a window manager, publishing to
// the real lumivanta-server: hotkeys pressed while another window has the
// focus, pictures checked as the server received them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ExpectedPicture.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/RawHttp.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using test::ExpectedPicture;
using test::kInformationTitle;
using test::kMainWindowTitle;
using test::ProgramSession;

// Mean difference per channel between the received picture and the expected
// one, leaving out a rectangle (screen coordinates) where other windows stood.
double MeanDifference(const test::DecodedJpeg& received, const test::DecodedJpeg& expected, int skip_left, int skip_top,
                      int skip_right, int skip_bottom) {
  double total = 0;
  long counted = 0;
  const double scale = 600.0 / 1080.0;
  for (std::uint32_t row = 0; row < received.height; ++row) {
    for (std::uint32_t x = 0; x < received.width; ++x) {
      const double screen_x = x / scale;
      const double screen_y = row / scale;
      if (screen_x >= skip_left && screen_x < skip_right && screen_y >= skip_top && screen_y < skip_bottom) {
        continue;
      }
      const std::uint8_t* got = received.At(x, row);
      const std::uint8_t* want = expected.At(x, row);
      for (int channel = 0; channel < 3; ++channel) {
        total += std::abs(got[channel] - want[channel]);
      }
      counted += 3;
    }
  }
  return counted == 0 ? 255.0 : total / static_cast<double>(counted);
}

bool IsRed(const std::uint8_t* rgb) { return rgb[0] > 170 && rgb[1] < 110 && rgb[2] < 110; }

// The program with a library preloaded that writes the size of every image
// it asks the X server for to grabs.log in its directory.
test::ProgramOptions RecordingGrabs() {
  test::ProgramOptions options;
  options.environment = {"LD_PRELOAD=" LUMIVANTA_GRAB_RECORDER_SHIM, "LUMIVANTA_GRAB_LOG=grabs.log"};
  return options;
}

class EndToEnd : public ::testing::Test {
 protected:
  // The images grabbed so far, as "WIDTHxHEIGHT".
  std::vector<std::string> Grabs() const {
    std::ifstream log(session_.Directory().Path() / "grabs.log");
    std::vector<std::string> grabs;
    for (std::string line; std::getline(log, line);) {
      grabs.push_back(line);
    }
    return grabs;
  }
  std::string NewestPictureBytes() const {
    return test::Get(session_.ServerPort(), "/pictures/" + std::string(test::kContactName) + "/latest.jpg").body;
  }

  void StartWithMainWindow() {
    session_.StartProgram();
    ASSERT_TRUE(session_.WaitShown(kMainWindowTitle)) << session_.Program().ErrorOutput();
    ASSERT_TRUE(session_.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 10s));
  }
  // Closes the information dialog with Enter, as a person would.
  void CloseInformation() {
    ASSERT_TRUE(session_.PressIn(kInformationTitle, "Return"));
    ASSERT_TRUE(session_.WaitShown(kInformationTitle, false));
  }

  ProgramSession session_{RecordingGrabs()};
};

TEST_F(EndToEnd, CtrlPPublishesTheScreenAndReportsIt) {
  StartWithMainWindow();
  const std::uint64_t before = session_.State().sequence;
  session_.Press("ctrl+p");
  const auto published = session_.WaitForPictureAfter(before);
  ASSERT_TRUE(published);
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Picture sent.", 10s));
  ASSERT_TRUE(session_.WaitShown(kInformationTitle));
  EXPECT_TRUE(session_.IsAlwaysOnTop(kInformationTitle));
  EXPECT_FALSE(session_.IsShown(kMainWindowTitle));  // minimised before the capture

  const test::DecodedJpeg picture = session_.NewestPicture();
  ASSERT_EQ(picture.width, 1066u);
  ASSERT_EQ(picture.height, 600u);
  // Apart from the other program's window, the picture is the test screen.
  const ProgramSession::Area other = session_.FocusHolderArea();
  EXPECT_LT(
      MeanDifference(picture, ExpectedPicture(session_.TestScreen()), other.left, other.top, other.right, other.bottom),
      1.0);

  CloseInformation();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(session_.State().sequence, published->sequence);  // exactly one picture
}

TEST_F(EndToEnd, CtrlMPublishesAtOnceWithTheRedArrowOnThePointer) {
  StartWithMainWindow();
  const int pointer_x = 1500;
  const int pointer_y = 800;
  session_.MovePointer(pointer_x, pointer_y);
  const double scale = 600.0 / 1080.0;
  // Inside the arrow, a little below and right of its tip.
  const auto arrow_x = static_cast<std::uint32_t>((pointer_x + 4) * scale);
  const auto arrow_y = static_cast<std::uint32_t>((pointer_y + 9) * scale);

  session_.Press("ctrl+p");
  const auto plain = session_.WaitForPictureAfter(session_.State().sequence);
  ASSERT_TRUE(plain);
  CloseInformation();
  EXPECT_FALSE(IsRed(session_.NewestPicture().At(arrow_x, arrow_y)));

  session_.Press("ctrl+m");
  const auto with_arrow = session_.WaitForPictureAfter(plain->sequence);
  ASSERT_TRUE(with_arrow);
  const test::DecodedJpeg picture = session_.NewestPicture();
  EXPECT_TRUE(IsRed(picture.At(arrow_x, arrow_y)));
  EXPECT_TRUE(IsRed(picture.At(arrow_x + 1, arrow_y + 2)));
  CloseInformation();
}

TEST_F(EndToEnd, CtrlSRunsASlideshowThatPausesWhileADialogIsOpen) {
  session_.StartProgram();
  ASSERT_TRUE(session_.WaitShown(kMainWindowTitle));
  const std::uint64_t before = session_.State().sequence;
  session_.Press("ctrl+s");
  const auto first = session_.WaitForPictureAfter(before);
  ASSERT_TRUE(first);
  ASSERT_TRUE(session_.WaitShown(kInformationTitle));  // "Slideshow started."
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Slideshow started.", 10s));
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(session_.State().sequence, first->sequence);  // the timer waits for the dialog

  CloseInformation();
  std::this_thread::sleep_for(4s);
  const std::uint64_t pictures = session_.State().sequence - first->sequence;
  EXPECT_GE(pictures, 2u);  // about one a second
  EXPECT_LE(pictures, 6u);

  // The screen stands still: each picture is the last one's bytes again, and nothing is grabbed.
  const std::size_t grabs_before = Grabs().size();
  ASSERT_GE(grabs_before, 1u);
  EXPECT_EQ(Grabs().front(), "1920x1080");
  const std::string still = NewestPictureBytes();
  std::uint64_t sequence = session_.State().sequence;
  for (int picture = 0; picture < 2; ++picture) {
    const auto next = session_.WaitForPictureAfter(sequence);
    ASSERT_TRUE(next);
    sequence = next->sequence;
    EXPECT_TRUE(NewestPictureBytes() == still);
  }
  EXPECT_EQ(Grabs().size(), grabs_before);

  // A small change is published, grabbed in small parts only.
  Display* display = session_.X();
  const GC gc = XCreateGC(display, DefaultRootWindow(display), 0, nullptr);
  XSetForeground(display, gc, 0xff0000);
  XFillRectangle(display, DefaultRootWindow(display), gc, 1500, 700, 60, 40);
  XFreeGC(display, gc);
  XSync(display, False);
  const double scale = 600.0 / 1080.0;
  bool red = false;
  for (int picture = 0; picture < 3 && !red; ++picture) {
    const auto next = session_.WaitForPictureAfter(sequence);
    ASSERT_TRUE(next);
    sequence = next->sequence;
    red = IsRed(
        session_.NewestPicture().At(static_cast<std::uint32_t>(1530 * scale), static_cast<std::uint32_t>(720 * scale)));
  }
  EXPECT_TRUE(red);
  const std::vector<std::string> grabs = Grabs();
  ASSERT_GT(grabs.size(), grabs_before);
  for (std::size_t grab = grabs_before; grab < grabs.size(); ++grab) {
    int width = 0;
    int height = 0;
    ASSERT_EQ(std::sscanf(grabs[grab].c_str(), "%dx%d", &width, &height), 2);
    EXPECT_LE(width * height, 100 * 100) << grabs[grab];
  }

  session_.Press("ctrl+s");
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Slideshow stopped.", 10s));
  CloseInformation();
  const std::uint64_t stopped = session_.State().sequence;
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(session_.State().sequence, stopped);
}

TEST_F(EndToEnd, CtrlDDeletesThePicturesAndCtrlRRestoresTheWindow) {
  StartWithMainWindow();
  session_.Press("ctrl+p");
  ASSERT_TRUE(session_.WaitForPictureAfter(0));
  CloseInformation();
  ASSERT_FALSE(session_.IsShown(kMainWindowTitle));

  session_.Press("ctrl+d");
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Pictures deleted successfully.", 10s));
  EXPECT_FALSE(session_.State().present);
  CloseInformation();

  session_.Press("ctrl+r");
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle));
  session_.Press("ctrl+r");
  EXPECT_TRUE(session_.WaitShown(kMainWindowTitle, false));
}

TEST_F(EndToEnd, ExitWritesTheSettingsAndSendsTheDeleteRequest) {
  const std::string configuration = session_.Directory().File("lumivanta.lic");
  std::filesystem::remove(configuration);
  session_.StartProgram();
  // Without a configuration file the wizard comes first; its defaults are taken as they are.
  const Window welcome = session_.WaitForWindow(test::kWizardTitle);
  ASSERT_NE(welcome, None) << session_.Program().ErrorOutput();
  ASSERT_TRUE(session_.PressIn(test::kWizardTitle, "Escape"));
  ASSERT_TRUE(session_.PressIn(test::kWizardTitle, "Escape", welcome));  // the settings page, cancelled
  ASSERT_TRUE(session_.WaitShown(kMainWindowTitle)) << session_.Program().ErrorOutput();

  // Exit from the window's close box, through the window manager.
  ASSERT_TRUE(session_.PressIn(kMainWindowTitle, "alt+F4"));
  const test::ChildProcess::Finished finished = session_.Program().WaitForExit(30s);
  EXPECT_EQ(finished.exit_code, 0) << finished.err;
  ASSERT_TRUE(std::filesystem::is_regular_file(configuration));
  CSettings saved;
  saved.file_name = configuration;
  ASSERT_TRUE(saved.Load());
  EXPECT_EQ(saved.server_url, "http://localhost:8080/");
  const std::vector<std::string> at_exit = session_.DefaultAddressRequests();
  ASSERT_EQ(at_exit.size(), 1u);
  EXPECT_TRUE(at_exit[0].starts_with("GET http://localhost:8080/?server&stream_name=" + saved.contact_name +
                                     "&fkt=end HTTP/1.0\r\n"))
      << at_exit[0];

  // The next start reads the file: no wizard. It points at the session's server now.
  session_.WriteConfiguration(session_.Directory().Path().string(), {});
  session_.StartProgram();
  ASSERT_TRUE(session_.WaitShown(kMainWindowTitle));
  EXPECT_FALSE(session_.IsShown(test::kWizardTitle));
  session_.Press("ctrl+p");
  ASSERT_TRUE(session_.WaitForPictureAfter(0));
  CloseInformation();
  session_.Press("ctrl+r");
  ASSERT_TRUE(session_.PressIn(kMainWindowTitle, "alt+F4"));
  EXPECT_EQ(session_.Program().WaitForExit(30s).exit_code, 0);
  EXPECT_FALSE(session_.State().present);  // the delete request at the end of the run
}

TEST_F(EndToEnd, ASecondInstanceRunsWhileTheFirstHoldsTheHotkeys) {
  StartWithMainWindow();
  test::TempDir second_directory;
  session_.WriteConfiguration(second_directory.Path().string(), {});
  std::unique_ptr<test::ChildProcess> second;
  session_.StartProgramIn(second_directory.Path().string(), second);
  ASSERT_TRUE(second->WaitForErrorText("Connection to Web-Server was tested successfully.", 30s));
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(second->IsRunning());
  EXPECT_TRUE(session_.Program().IsRunning());

  // The first instance keeps its hotkeys.
  session_.Press("ctrl+p");
  ASSERT_TRUE(session_.Program().WaitForErrorText(" : Picture sent.", 10s));
  EXPECT_EQ(test::ChildProcess::Occurrences(second->ErrorOutput(), "Picture sent."), 0u);
  CloseInformation();
}

// A server URL holding the upload key works as it is, and what viewers are
// given never holds it; one with a wrong key fails its connection test.
TEST(EndToEndUploadKey, TheServerUrlCarriesTheKeyAndTheViewerLinkDoesNot) {
  const std::string key = "Up1oad-key_0123456789abcdef";
  const std::string view_key = "View-key_0123456789abcdef";
  const test::TempDir key_directory;
  for (const auto& [name, content] : {std::pair{"upload-key", key}, std::pair{"view-key", view_key}}) {
    test::WriteWholeFile(key_directory.File(name), content + "\n");
    std::filesystem::permissions(key_directory.File(name),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  // The desktop's browser is started through xdg-open: here one that notes the address.
  const test::TempDir tools;
  test::WriteWholeFile(tools.File("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/opened\"\n");
  std::filesystem::permissions(tools.File("xdg-open"), std::filesystem::perms::owner_all);
  test::ProgramOptions options;
  options.write_configuration = false;
  options.server_options = {"--upload-key-file", key_directory.File("upload-key"), "--view-key-file",
                            key_directory.File("view-key")};
  options.environment = {"PATH=" + tools.Path().string() + ":" + std::getenv("PATH")};
  options.viewer_path = "/v/" + view_key + "/";
  ProgramSession session(options);
  const std::string server = "http://127.0.0.1:" + std::to_string(session.ServerPort());
  options.server_url = server + "/u/" + key + "/";
  session.WriteConfiguration(session.Directory().Path().string(), options);
  std::filesystem::create_directories(session.Directory().Path() / "config/lumivanta");
  test::WriteWholeFile(session.Directory().File("config/lumivanta/preferences"), "viewer-key=" + view_key + "\n");

  session.StartProgram();
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server was tested successfully.", 20s))
      << session.Program().ErrorOutput();
  session.Press("ctrl+p");
  const auto published = session.WaitForPictureAfter(0);
  ASSERT_TRUE(published);
  const test::DecodedJpeg picture = session.NewestPicture();
  EXPECT_EQ(picture.width, 1066u);
  EXPECT_EQ(picture.height, 600u);

  // "Open viewer in browser": the view key's address with the name.
  ASSERT_TRUE(session.PressIn(kInformationTitle, "alt+o"));
  for (int wait = 0; wait < 400 && !std::filesystem::exists(tools.File("opened")); ++wait) {
    std::this_thread::sleep_for(25ms);
  }
  EXPECT_EQ(test::ReadWholeFile(tools.File("opened")), server + options.viewer_path + "?name=e2e");
  ASSERT_TRUE(session.PressIn(kInformationTitle, "Return"));

  const test::TempDir wrong_directory;
  options.server_url = server + "/u/" + key.substr(0, key.size() - 1) + "x/";
  session.WriteConfiguration(wrong_directory.Path().string(), options);
  std::unique_ptr<test::ChildProcess> wrong;
  session.StartProgramIn(wrong_directory.Path().string(), wrong);
  ASSERT_TRUE(wrong->WaitForErrorText("Connection to Web-Server failed.", 20s)) << wrong->ErrorOutput();
  EXPECT_TRUE(wrong->WaitForErrorText("HTTP status 403", 5s)) << wrong->ErrorOutput();
  EXPECT_EQ(session.State().sequence, published->sequence);
}

TEST(EndToEndUnreachable, PublishAndSlideshowLogTheFailureAndChangeNothing) {
  test::ProgramOptions options;
  options.server_url = "http://127.0.0.1:1/";
  ProgramSession session(options);
  session.StartProgram();
  ASSERT_TRUE(session.WaitShown(kMainWindowTitle));
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server failed.", 20s));
  session.Press("ctrl+p");
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server failed.", 20s, 2));
  session.Press("ctrl+s");
  ASSERT_TRUE(session.Program().WaitForErrorText("Connection to Web-Server failed.", 20s, 3));
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(session.IsShown(kMainWindowTitle));
  EXPECT_FALSE(session.IsShown(kInformationTitle));
  EXPECT_EQ(test::ChildProcess::Occurrences(session.Program().ErrorOutput(), "Picture sent."), 0u);
  EXPECT_EQ(test::ChildProcess::Occurrences(session.Program().ErrorOutput(), "Slideshow started."), 0u);
}

}  // namespace
}  // namespace lumivanta
