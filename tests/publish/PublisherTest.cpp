#include "publish/Publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

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

TEST(PublishJobRules, QualityIndexAndWidthForTheTargetHeight) {
  EXPECT_EQ(JpegQualityForIndex(0), 25);
  EXPECT_EQ(JpegQualityForIndex(1), 60);
  EXPECT_EQ(JpegQualityForIndex(2), 99);
  EXPECT_EQ(JpegQualityForIndex(3), 25);
  EXPECT_EQ(JpegQualityForIndex(-1), 25);

  EXPECT_EQ(WidthForHeight(1920, 1080, 600), 1066);
  EXPECT_EQ(WidthForHeight(1366, 768, 600), 1067);
  EXPECT_EQ(WidthForHeight(1280, 1024, 768), 960);
  EXPECT_EQ(WidthForHeight(1024, 768, 600), 800);
  EXPECT_EQ(WidthForHeight(800, 600, 768), 1024);
  // A width that no picture can have is 0, which the scaling refuses.
  EXPECT_EQ(WidthForHeight(4000, 1, 2147483647), 0);
}

TEST(CPublisher, RefusesASecondJobWhileTheFirstUploadsAndEndsAStalledUploadAtOnce) {
  LoopbackServer server("", LoopbackServer::Behaviour::kNeverAnswer);
  const test::OwnedScreen screen = test::RandomScreen(64, 48, 1);
  const ScreenImage view = screen.View();
  auto publisher = std::make_unique<CPublisher>();
  ASSERT_TRUE(publisher->StartJob(server.Url("/?server&stream_name=first"), &view, 24, 1));
  EXPECT_FALSE(publisher->StartJob(server.Url("/?server&stream_name=second"), &view, 24, 1));

  const std::string request = server.WaitForRequest(1);
  ASSERT_FALSE(request.empty());
  EXPECT_TRUE(publisher->IsBusy());
  EXPECT_FALSE(publisher->StartJob(server.Url("/?server&stream_name=second"), &view, 24, 1));
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
  const ScreenImage first_view = first_screen.View();
  const ScreenImage second_view = second_screen.View();
  CPublisher publisher;
  EXPECT_FALSE(publisher.IsBusy());
  EXPECT_EQ(publisher.JobData(), nullptr);

  ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=a"), &first_view, 30, 2));
  ASSERT_TRUE(WaitUntilIdle(publisher));
  EXPECT_EQ(publisher.JobData()->picture.Width(), 40u);  // the finished job keeps its scaled picture

  ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=b"), &second_view, 0, 0));
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

TEST(CPublisher, AJobWithoutPixelsClearsItsBusyFlagAndSendsNothing) {
  LoopbackServer server(test::HttpResponse("200 OK", "ok"));
  const ScreenImage empty_screen{0, 0, 0, {}};
  CPublisher publisher;
  for (const ScreenImage* bitmap : {static_cast<const ScreenImage*>(nullptr), &empty_screen}) {
    ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=none"), bitmap, 600, 1));
    ASSERT_TRUE(WaitUntilIdle(publisher));
    EXPECT_FALSE(publisher.JobData()->picture.HasPixels());
  }
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(PublishWorker(nullptr), kWorkerExitNoPicture);
}

TEST(CPublisher, DestroyingAnIdleOrUnusedPublisherIsClean) {
  { CPublisher unused; }
  LoopbackServer server(test::HttpResponse("200 OK", "ok"));
  const test::OwnedScreen screen = test::RandomScreen(16, 16, 4);
  const ScreenImage view = screen.View();
  CPublisher publisher;
  ASSERT_TRUE(publisher.StartJob(server.Url("/?server&stream_name=x"), &view, 8, 0));
}

}  // namespace
}  // namespace lumivanta
