// A request that waited for a store worker longer than the store's time limit
// is told so, rather than calling a store that already keeps others waiting.

#include "server/StoreWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <optional>
#include <thread>

namespace lumivanta::server {
namespace {

using namespace std::chrono_literals;

// Whether a job queued behind one that takes 500 ms hears that it is late.
bool SecondJobIsLate(std::optional<std::chrono::milliseconds> max_wait) {
  StoreWorkers workers(1, max_wait);
  std::latch done(1);
  std::atomic<bool> late = false;
  workers.Run([](bool) { std::this_thread::sleep_for(500ms); });
  workers.Run([&](bool second_late) {
    late = second_late;
    done.count_down();
  });
  done.wait();
  return late;
}

TEST(StoreWorkersTest, AJobThatWaitedPastTheTimeLimitIsToldItIsLate) {
  EXPECT_TRUE(SecondJobIsLate(100ms));
  EXPECT_FALSE(SecondJobIsLate(std::nullopt));
}

}  // namespace
}  // namespace lumivanta::server
