#include "publish/Publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/LoopbackServer.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/UploadedPicture.h"

namespace lumivanta {
namespace {

using std::chrono::steady_clock;
using test::LoopbackServer;

constexpr auto kJobTimeout = std::chrono::seconds(30);

bool WaitUntilIdle(const CPublisher& publisher) {
  const auto deadline = steady_clock::now() + kJobTimeout;
  while (publisher.IsBusy()) {
    if (steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TEST(CPublisher, RefusesASecondJobWhileTheFirstUploadsAndEndsAStalledUploadAtOnce) {
  LoopbackServer server("", LoopbackServer::Behaviour::kNeverAnswer);
  const test::OwnedScreen screen = test::RandomScreen(64, 48, 1);
  auto publisher = std::make_unique<CPublisher>();
  ASSERT_TRUE(publisher->StartJob(server.Url("/?server&stream_name=first"), screen.AsGrabbed(), 24, 1));
  EXPECT_FALSE(publisher->StartJob(server.Url("/?server&stream_name=second"), screen.AsGrabbed(), 24, 1));

  const std::string request = server.WaitForRequest(1);
  ASSERT_FALSE(request.empty());
  EXPECT_TRUE(publisher->IsBusy());
  EXPECT_FALSE(publisher->StartJob(server.Url("/?server&stream_name=second"), screen.AsGrabbed(), 24, 1));
  EXPECT_EQ(publisher->JobData()->upload_address, server.Url("/?server&stream_name=first"));

  EXPECT_EQ(request.rfind("POST /?server&stream_name=first HTTP/1.0\r\n", 0), 0u);
  const test::DecodedJpeg decoded = test::DecodeJpeg(test::UploadedPicture(request));
  EXPECT_EQ(decoded.width, 32u);
  EXPECT_EQ(decoded.height, 24u);

  // Without the cancellation the worker would wait for the transfer time-out.
  const auto destruction_started = steady_clock::now();
  publisher.reset();
  EXPECT_LT(steady_clock::now() - destruction_started, std::chrono::seconds(1));
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(CPublisher, AcceptsTheNextJobOnceTheFirstHasFinished) {
  LoopbackServer server(test::HttpResponse("200 OK", "ok"));
  const test::OwnedScreen first_screen = test::RandomScreen(80, 60, 2);
  const test::OwnedScreen second_screen = test::RandomScreen(40, 30, 3);
  { const CPublisher unused; }  // destroyed without a job
  CPublisher publisher;
  EXPECT_FALSE(publisher.IsBusy());
  EXPECT_EQ(publisher.JobData(), nullptr);

  ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=a"), first_screen.AsGrabbed(), 30, 2));
  ASSERT_TRUE(WaitUntilIdle(publisher));

  ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=b"), second_screen.AsGrabbed(), 0, 0));
  EXPECT_EQ(publisher.JobData()->upload_address, server.Url("/?server&stream_name=b"));
  ASSERT_TRUE(WaitUntilIdle(publisher));

  const test::DecodedJpeg first = test::DecodeJpeg(test::UploadedPicture(server.WaitForRequest(1)));
  EXPECT_EQ(first.width, 40u);
  EXPECT_EQ(first.height, 30u);
  const std::string second_request = server.WaitForRequest(2);
  EXPECT_EQ(second_request.rfind("POST /?server&stream_name=b HTTP/1.0\r\n", 0), 0u);
  const test::DecodedJpeg second = test::DecodeJpeg(test::UploadedPicture(second_request));
  EXPECT_EQ(second.width, 40u);  // target 0 keeps the size
  EXPECT_EQ(second.height, 30u);
}

TEST(CPublisher, AJobWithoutPixelsOrEndedByAnErrorSendsNothingAndSaysWhy) {
  LoopbackServer server(test::HttpResponse("200 OK", "ok"));
  test::OwnedScreen too_few_pixels = test::RandomScreen(16, 16, 5);
  too_few_pixels.height = 17;
  ScreenImage lost_grab = test::RandomScreen(16, 16, 6).AsGrabbed();
  lost_grab.await_pixels = []() -> bool { throw std::runtime_error("the grab was lost"); };
  std::vector<UploadOutcome> outcomes;
  CPublisher publisher([&outcomes](const UploadOutcome& outcome) { outcomes.push_back(outcome); });
  for (const ScreenImage& screen : {ScreenImage{}, too_few_pixels.AsGrabbed(), lost_grab}) {
    ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=none"), screen, 600, 1));
    ASSERT_TRUE(WaitUntilIdle(publisher));
  }
  EXPECT_TRUE(server.Requests().empty());
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[2].job_number, 3u);
  EXPECT_EQ(outcomes[0].failure_cause, "no picture was captured");
  EXPECT_EQ(outcomes[2].failure_cause, "error while publishing: the grab was lost");
  EXPECT_EQ(PublishWorker(nullptr), kWorkerExitNoPicture);
}

}  // namespace
}  // namespace lumivanta
