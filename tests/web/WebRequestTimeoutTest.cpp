#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/LoopbackServer.h"
#include "web/HttpTimeouts.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

TEST(WebRequestTimeout, AServerThatNeverAnswersIsAbandonedAfterTheLowSpeedTime) {
  test::LoopbackServer server("", test::LoopbackServer::Behaviour::kNeverAnswer);
  CWebRequest request;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(request.Request(server.Url("/?server&stream_name=abc&fkt=end"), RequestGet, ""));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(request.LastError(), static_cast<std::uint32_t>(CURLE_OPERATION_TIMEDOUT));
  EXPECT_GE(waited, std::chrono::seconds(http_timeouts::kLowSpeedTimeSeconds - 1));
  EXPECT_LT(waited, std::chrono::seconds(http_timeouts::kLowSpeedTimeSeconds + 15));
}

}  // namespace
}  // namespace lumivanta
