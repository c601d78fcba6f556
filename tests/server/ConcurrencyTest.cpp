// Uploads and viewers at the same time never see a torn or mixed picture.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta::test {
namespace {

TEST(ConcurrencyTest, EveryFetchedPictureIsOneOfTheUploadedOnes) {
  constexpr int kUploaders = 4;
  constexpr int kViewers = 4;
  constexpr auto kDuration = std::chrono::milliseconds(1500);
  constexpr int kMaxRequestsPerThread = 2000;

  // Pictures of different sizes, each filled with its own byte, so any mix-up shows.
  std::vector<std::string> pictures;
  for (int index = 0; index < kUploaders; ++index) {
    pictures.emplace_back(50'000 + 40'000 * index, static_cast<char>('A' + index));
  }
  const std::set<std::string> uploaded(pictures.begin(), pictures.end());

  ServerProcess server;
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "shared", pictures.front())).status, 200);

  std::atomic<int> failures = 0;
  std::atomic<int> fetches = 0;
  const auto deadline = std::chrono::steady_clock::now() + kDuration;
  {
    std::vector<std::jthread> threads;
    for (int index = 0; index < kUploaders; ++index) {
      threads.emplace_back([&, index] {
        for (int count = 0; count < kMaxRequestsPerThread && std::chrono::steady_clock::now() < deadline; ++count) {
          if (Exchange(port, ProgramUpload(port, "shared", pictures[index])).status != 200) {
            ++failures;
          }
        }
      });
    }
    for (int index = 0; index < kViewers; ++index) {
      threads.emplace_back([&] {
        for (int count = 0; count < kMaxRequestsPerThread && std::chrono::steady_clock::now() < deadline; ++count) {
          const HttpAnswer answer = NewestPicture(port, "shared");
          if (answer.status != 200 || !uploaded.contains(answer.body)) {
            ++failures;
          }
          ++fetches;
        }
      });
    }
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(fetches, 0);
}

}  // namespace
}  // namespace lumivanta::test
