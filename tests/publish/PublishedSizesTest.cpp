// What lumivanta-server receives from the publish job, decoded.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "publish/Publisher.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PictureTestSupport.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta {
namespace {

struct SizeCase {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::int32_t target_height = 0;
  std::uint32_t expected_width = 0;
  std::uint32_t expected_height = 0;
};

TEST(PublishedPictures, HaveTheTargetHeightAndTheWidthInProportion) {
  test::ClearProxyEnvironment();
  test::ServerProcess server;
  const std::string upload_url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/?server&stream_name=";
  const test::OwnedScreen test_screen = test::LoadTestScreen();
  const SizeCase cases[] = {
      {1920, 1080, 600, 1066, 600}, {1366, 768, 600, 1067, 600}, {1280, 1024, 768, 960, 768},
      {1024, 768, 600, 800, 600},   {800, 600, 768, 1024, 768},  {1920, 1080, 0, 1920, 1080},
      {1024, 768, 768, 1024, 768},
  };
  CPublisher publisher;
  int n = 0;
  for (const SizeCase& size : cases) {
    const std::string name = "sizes" + std::to_string(++n);
    const test::OwnedScreen screen = test::ScreenOfSize(test_screen, size.width, size.height);
    ASSERT_TRUE(publisher.StartJob(upload_url + name, screen.AsGrabbed(), size.target_height, 1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (publisher.IsBusy() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(publisher.IsBusy());

    const test::HttpAnswer picture = test::NewestPicture(server.Port(), name);
    ASSERT_EQ(picture.status, 200) << name;
    const test::DecodedJpeg decoded = test::DecodeJpeg(picture.body);
    EXPECT_EQ(decoded.width, size.expected_width) << size.width << "x" << size.height << " to " << size.target_height;
    EXPECT_EQ(decoded.height, size.expected_height) << size.width << "x" << size.height << " to " << size.target_height;
    EXPECT_EQ(decoded.components, 3);
  }
}

}  // namespace
}  // namespace lumivanta
