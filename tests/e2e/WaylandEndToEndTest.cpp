// The real program as a native Wayland client of a private headless sway,
// capturing through the desktop portal and PipeWire and publishing to the
// real lumivanta-server; commands come from the command line, as a desktop's
// key binding sends them. grim's screenshot is what the screen shows.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "pictures/CxImage.h"
#include "pictures/ScreenEncoder.h"
#include "settings/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaylandSession.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;

constexpr const char* kContactName = "wayland";
constexpr const char* kInformationTitle = "Lumivanta: Hinweis";
constexpr auto kWait = 30s;

// A screen as the program must publish it: downscaled to 600 pixels high and
// encoded at quality 60, decoded again.
test::DecodedJpeg ExpectedPicture(const test::OwnedScreen& screen) {
  CxImage expected;
  const ScreenImage view = screen.AsGrabbed();
  expected.CreateFromBitmap(&view);
  const EncodedPicture encoded = ConvertScaleEncode(expected, 600, 1);
  return test::DecodeJpeg(encoded.bytes.get(), encoded.byte_count);
}

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

class WaylandEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = test::MissingWaylandTool(); !missing.empty()) {
      GTEST_SKIP() << missing << " is missing (scripts/install-deps --tests installs it)";
    }
  }

  void StartSession(bool screencast) {
    session_.emplace(test::WaylandSessionOptions{.screencast = screencast});
    CSettings settings;
    settings.file_name = program_directory_.File("lumivanta.lic");
    settings.server_url = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/";
    settings.contact_name = kContactName;
    settings.refresh_rate_ms = 1000;
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

  // Publishes what the screen shows now and checks the picture against grim's screenshot of it.
  void PublishAndCompare(const std::string& name) {
    // Frames come when the screen changes: a moment for the change to reach the stream.
    std::this_thread::sleep_for(300ms);
    const test::DecodedJpeg expected = ExpectedPicture(test::LoadPng(session_->Screenshot(name + ".png")));
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
    EXPECT_LT(MeanDifference(received, expected), 1.5) << name;
    // The information dialog takes no key until it is shown; Enter closes it.
    ASSERT_TRUE(session_->WaitWindow(kInformationTitle, true, kWait));
    session_->Type({"-k", "Return"});
    ASSERT_TRUE(session_->WaitWindow(kInformationTitle, false, kWait)) << program_->ErrorOutput();
  }

  test::ServerProcess server_;
  test::TempDir program_directory_;
  std::optional<test::WaylandSession> session_;
  std::optional<test::ChildProcess> program_;
};

TEST_F(WaylandEndToEnd, PublishSendsWhatTheScreenShowsAndFollowsItsChanges) {
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

  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  PublishAndCompare("test-screen");
  session_->ShowColour("#c03020");
  PublishAndCompare("red");
  session_->ShowPicture(LUMIVANTA_TEST_SCREEN);
  PublishAndCompare("test-screen-again");

  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "Picture sent."), 3u);
  EXPECT_EQ(program_->ErrorOutput().find("Nothing was captured"), std::string::npos);
}

TEST_F(WaylandEndToEnd, WithoutScreenCastThePublicationSaysSoAndUploadsNothing) {
  StartSession(false);
  StartProgram();
  ASSERT_TRUE(program_->WaitForErrorText("The screen cannot be captured on this desktop: ", kWait))
      << program_->ErrorOutput() << session_->Logs();
  ASSERT_TRUE(program_->WaitForErrorText("Connection to Web-Server was tested successfully.", kWait));
  Send("--publish");
  ASSERT_TRUE(program_->WaitForErrorText("Nothing was captured: no picture was published.", kWait));
  EXPECT_EQ(test::ChildProcess::Occurrences(program_->ErrorOutput(), "The screen cannot be captured"), 1u);
  EXPECT_EQ(program_->ErrorOutput().find("Picture sent."), std::string::npos);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(Sequence(), 0u);
  EXPECT_TRUE(program_->IsRunning());
}

}  // namespace
}  // namespace lumivanta
