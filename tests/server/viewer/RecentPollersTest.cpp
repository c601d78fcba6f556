// The pollers a name's viewer count takes in: distinct, recent, and bounded.

#include "server/viewer/RecentPollers.h"

#include <gtest/gtest.h>

#include <string>

namespace lumivanta::server {
namespace {

using namespace std::chrono_literals;

TEST(RecentPollers, CountsDistinctViewersOfTheLastTenSecondsAndStaysBounded) {
  const RecentPollers::Clock::time_point start{};
  RecentPollers pollers;
  pollers.Noted("a", "host page1", start);
  pollers.Noted("a", "host page2", start + 5s);
  pollers.Noted("a", "host page1", start + 6s);
  pollers.Noted("b", "host page1", start + 6s);
  EXPECT_EQ(pollers.Count("a", start + 6s), 2u);
  EXPECT_EQ(pollers.Count("a", start + 15s), 1u);  // page2 polled 10 s ago
  EXPECT_EQ(pollers.Count("a", start + 16s), 0u);
  EXPECT_EQ(pollers.Count("nobody", start), 0u);

  // Made-up viewers fill it only so far; once they expire, real ones count again.
  for (std::size_t n = 0; n < RecentPollers::kMostViewers + 10; ++n) {
    pollers.Noted("flood", std::to_string(n), start + 20s);
  }
  EXPECT_EQ(pollers.Count("flood", start + 20s), RecentPollers::kMostViewers);
  pollers.Noted("a", "late", start + 30s);
  EXPECT_EQ(pollers.Count("a", start + 30s), 1u);
}

}  // namespace
}  // namespace lumivanta::server
