// The real program against servers that misbehave on loopback: one that never
// answers, one that trickles its answer, one that refuses the connection and
// one that resets it. The window must keep answering (_NET_WM_PING) while the
// connection test is pending, commands pressed meanwhile are dropped, the
// failure names its cause, and the program ends within its bound.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "tests/support/LoopbackServer.h"
#include "tests/support/ProgramSession.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::kMainWindowTitle;
using test::LoopbackServer;

constexpr auto kExitBound = 12s;
constexpr auto kPingAnswer = 1s;
constexpr const char* kFailed = "Connection to Web-Server failed.";

// The slowest answer to pings sent over a stretch of time.
std::chrono::milliseconds SlowestPing(test::ProgramSession& session, std::chrono::milliseconds stretch) {
  std::chrono::milliseconds slowest{0};
  const auto end = Clock::now() + stretch;
  while (Clock::now() < end) {
    const auto answer = session.Ping(kMainWindowTitle, 5s);
    slowest = std::max(slowest, answer.value_or(5s));
    std::this_thread::sleep_for(100ms);
  }
  return slowest;
}

// Ends the program through its window and returns how long that took.
std::chrono::milliseconds TimeExit(test::ProgramSession& session) {
  const auto asked = Clock::now();
  EXPECT_TRUE(session.Close(kMainWindowTitle));
  EXPECT_EQ(session.Program().WaitForExit(30s).exit_code, 0);
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
}

class ServerTrouble : public ::testing::Test {
 protected:
  void Start(LoopbackServer::Behaviour behaviour) {
    server_ = std::make_unique<LoopbackServer>("", behaviour);
    Start(server_->Url("/"));
  }
  void Start(const std::string& server_url) {
    test::ProgramOptions options;
    options.server_url = server_url;
    session_ = std::make_unique<test::ProgramSession>(options);
    const auto started = Clock::now();
    session_->StartProgram();
    // The window comes at once; the start-up test follows aside.
    ASSERT_TRUE(session_->WaitShown(kMainWindowTitle, true, 5s)) << session_->Program().ErrorOutput();
    shown_after_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  }
  void Report(const char* server, std::chrono::milliseconds slowest_ping, std::chrono::milliseconds exit) {
    std::printf(
        "%s: window shown %lld ms after start, slowest ping answer while a test was pending %lld ms, exit %lld ms\n",
        server, static_cast<long long>(shown_after_.count()), static_cast<long long>(slowest_ping.count()),
        static_cast<long long>(exit.count()));
  }

  std::unique_ptr<LoopbackServer> server_;
  std::unique_ptr<test::ProgramSession> session_;
  std::chrono::milliseconds shown_after_{0};
};

TEST_F(ServerTrouble, AServerThatNeverAnswersKeepsNeitherTheWindowNorTheExitWaiting) {
  Start(LoopbackServer::Behaviour::kNeverAnswer);
  test::ChildProcess& program = session_->Program();
  const std::chrono::milliseconds during_start_up = SlowestPing(*session_, 3s);
  ASSERT_TRUE(program.WaitForErrorText("Cause: no answer within 10 s", 15s)) << program.ErrorOutput();

  // A publication tests again; the window answers meanwhile, and a second
  // Ctrl+P during the test is dropped, not queued.
  session_->Press("ctrl+p");
  std::this_thread::sleep_for(500ms);
  session_->Press("ctrl+p");
  const std::chrono::milliseconds during_command = SlowestPing(*session_, 3s);
  ASSERT_TRUE(program.WaitForErrorText(kFailed, 15s, 2));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(test::ChildProcess::Occurrences(program.ErrorOutput(), kFailed), 2u);
  EXPECT_EQ(test::ChildProcess::Occurrences(program.ErrorOutput(), "Picture sent."), 0u);
  EXPECT_LT(during_start_up, kPingAnswer);
  EXPECT_LT(during_command, kPingAnswer);

  const std::chrono::milliseconds exit = TimeExit(*session_);
  EXPECT_LT(exit, kExitBound);
  Report("never answers", std::max(during_start_up, during_command), exit);
}

TEST_F(ServerTrouble, AServerThatTricklesIsLeftWithinTheBounds) {
  Start(LoopbackServer::Behaviour::kTrickle);
  const std::chrono::milliseconds slowest = SlowestPing(*session_, 3s);
  EXPECT_LT(slowest, kPingAnswer);
  session_->Press("ctrl+p");  // dropped: the start-up test is still pending
  // Ending while the start-up test is pending: it is cut short, the delete request is bounded.
  const std::chrono::milliseconds exit = TimeExit(*session_);
  EXPECT_LT(exit, kExitBound);
  EXPECT_EQ(test::ChildProcess::Occurrences(session_->Program().ErrorOutput(), "Picture sent."), 0u);
  Report("trickles", slowest, exit);
}

TEST_F(ServerTrouble, AResetOrARefusedConnectionNamesItsCause) {
  const auto expect_named_cause = [this](const char* server, const std::string& cause) {
    const std::chrono::milliseconds slowest = SlowestPing(*session_, 1s);
    ASSERT_TRUE(session_->Program().WaitForErrorText(cause, 15s)) << session_->Program().ErrorOutput();
    const std::chrono::milliseconds exit = TimeExit(*session_);
    EXPECT_LT(exit, kExitBound);
    Report(server, slowest, exit);
  };
  Start(LoopbackServer::Behaviour::kReset);
  expect_named_cause("resets", "Cause: connection reset (127.0.0.1:" + std::to_string(server_->Port()) + ")");
  Start("http://127.0.0.1:1/");  // nothing listens on port 1
  expect_named_cause("refuses", "Cause: connection refused (127.0.0.1:1)");
}

// The server goes away after a successful test: the picture is handed to the
// publisher as before, and then the failure comes back to the user.
TEST(ServerGone, AFailedUploadIsLoggedAndShownWithItsCause) {
  test::ProgramSession session;
  session.StartProgram();
  ASSERT_TRUE(session.WaitShown(kMainWindowTitle));
  ASSERT_TRUE(session.Program().WaitForErrorText("tested successfully", 15s));
  const std::string failed =
      "Upload failed: connection refused (127.0.0.1:" + std::to_string(session.ServerPort()) + ")";
  session.StopServer();

  session.Press("ctrl+p");
  ASSERT_TRUE(session.WaitShown(test::kInformationTitle));
  const Window picture_sent = session.FindWindow(test::kInformationTitle);
  ASSERT_TRUE(session.PressIn(test::kInformationTitle, "Return"));
  ASSERT_TRUE(session.Program().WaitForErrorText(failed, 15s)) << session.Program().ErrorOutput();
  // The failure is shown in a dialog of its own once the first one is closed.
  ASSERT_TRUE(session.PressIn(test::kInformationTitle, "Return", picture_sent));
  EXPECT_LT(TimeExit(session), kExitBound);
}

// Uploads that fail (503) while the connection tests pass: the slideshow's first failure
// is logged, in no dialog, and the slideshow goes on with a calm log until uploads work.
TEST(SlideshowTrouble, FailedUploadsAreLoggedOnceShownInNoDialogAndHoldNothingUp) {
  LoopbackServer failing(test::HttpResponse("503 Service Unavailable", "connectok"));
  test::ProgramOptions options;
  options.server_url = failing.Url("/");
  test::ProgramSession session(options);
  session.StartProgram();
  test::ChildProcess& program = session.Program();
  ASSERT_TRUE(program.WaitForErrorText("tested successfully", 15s)) << program.ErrorOutput();
  session.Press("ctrl+s");
  ASSERT_TRUE(program.WaitForErrorText("Upload failed: HTTP status 503", 15s)) << program.ErrorOutput();
  ASSERT_TRUE(session.PressIn(test::kInformationTitle, "Return"));  // "Slideshow started."
  std::this_thread::sleep_for(3s);
  EXPECT_FALSE(session.IsShown(test::kInformationTitle));
  EXPECT_GE(failing.Requests().size(), 5u);  // a connection test and an upload every second

  failing.SetResponse(test::HttpResponse("200 OK", "connectok"));
  ASSERT_TRUE(program.WaitForErrorText("Pictures are uploaded again.", 15s)) << program.ErrorOutput();
  const std::string& log = program.ErrorOutput();
  EXPECT_EQ(test::ChildProcess::Occurrences(log, "Upload failed"), 1u) << log;
  EXPECT_EQ(test::ChildProcess::Occurrences(log, "tested successfully"), 1u) << log;  // at start-up only
}

}  // namespace
}  // namespace lumivanta
