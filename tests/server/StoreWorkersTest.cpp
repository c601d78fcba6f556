// A request that waited for a store worker longer than the store's time limit
// is told so, rather than calling a store that already keeps others waiting.

#include "server/StoreWorkers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace lumivanta::server {
namespace {

using namespace std::chrono_literals;

TEST(StoreWorkersTest, AJobThatWaitedPastTheTimeLimitIsToldItIsLate) {
  StoreWorkers workers(1, 100ms);
  std::promise<bool> first;
  std::promise<bool> second;
  workers.Run([&](bool late) {
    first.set_value(late);
    std::this_thread::sleep_for(500ms);
  });
  workers.Run([&](bool late) { second.set_value(late); });
  EXPECT_FALSE(first.get_future().get());
  EXPECT_TRUE(second.get_future().get());
}

}  // namespace
}  // namespace lumivanta::server
