// Slow, idle and too many clients neither hold the server up nor keep it from stopping.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RawHttp.h"
#include "tests/support/ServerProcess.h"

namespace lumivanta::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kHeaderStart = "GET /pictures/x/latest.json HTTP/1.1\r\nHost: 127.0.0.1\r\n";

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// The median time of a few normal requests, each on a new connection.
double MedianRequestMs(int port) {
  std::vector<double> times;
  for (int count = 0; count < 15; ++count) {
    const auto start = Clock::now();
    EXPECT_EQ(Get(port, "/pictures/x/latest.json").status, 200);
    times.push_back(Milliseconds(Clock::now() - start));
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// The server accepts and closes connections a little after the client: asks again until the status comes.
HttpAnswer GetUntilStatus(int port, int status) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  HttpAnswer answer = Get(port, "/");
  while (answer.status != status && Clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(50));
    answer = Get(port, "/");
  }
  return answer;
}

void AllowOpenFiles(rlim_t count) {
  rlimit limit = {};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max(limit.rlim_cur, std::min(count, limit.rlim_max));
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Connections that each send the start of a header, then one more byte every 50 ms, until destroyed.
class DrippingClients {
 public:
  DrippingClients(int port, int count) {
    for (int index = 0; index < count; ++index) {
      connections_.push_back(std::make_unique<TcpConnection>(port));
      connections_.back()->SendAll(kHeaderStart);
    }
    dripper_ = std::jthread([this](std::stop_token stop) {
      while (!stop.stop_requested()) {
        for (const auto& connection : connections_) {
          connection->TrySend("X");
        }
        std::this_thread::sleep_for(milliseconds(50));
      }
    });
  }

 private:
  std::vector<std::unique_ptr<TcpConnection>> connections_;
  std::jthread dripper_;
};

TEST(HostileClientTest, AHeaderNotWholeWithinTheDeadlineClosesTheConnection) {
  ServerProcess server({"--header-timeout", "1"});
  const TcpConnection connection(server.Port());
  connection.SendAll(kHeaderStart);
  const auto start = Clock::now();
  EXPECT_EQ(connection.ReceiveAll(), "");
  const double closed_after_ms = Milliseconds(Clock::now() - start);
  std::printf("a slow header was closed after %.0f ms (deadline 1000 ms)\n", closed_after_ms);
  EXPECT_GT(closed_after_ms, 800);
  EXPECT_LT(closed_after_ms, 3000);
}

TEST(HostileClientTest, IdleAndDrippingConnectionsDelayANormalRequestByLessThan100Ms) {
  constexpr int kIdle = 1000;
  constexpr int kDripping = 200;
  AllowOpenFiles(kIdle + kDripping + 256);
  ServerProcess server;
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "x", "picture")).status, 200);
  const double quiet_ms = MedianRequestMs(port);

  std::vector<std::unique_ptr<TcpConnection>> idle;
  for (int index = 0; index < kIdle; ++index) {
    idle.push_back(std::make_unique<TcpConnection>(port));
  }
  const DrippingClients dripping(port, kDripping);
  std::this_thread::sleep_for(milliseconds(200));
  const double attacked_ms = MedianRequestMs(port);
  std::printf("median request: %.2f ms alone, %.2f ms beside %d idle and %d dripping connections\n", quiet_ms,
              attacked_ms, kIdle, kDripping);
  EXPECT_LT(attacked_ms - quiet_ms, 100);
}

TEST(HostileClientTest, StopSignalEndsTheServerWithinASecondWhateverTheClientsDo) {
  ServerProcess server;
  const int port = server.Port();
  const DrippingClients dripping(port, 50);
  // An upload stalled halfway through its body.
  const TcpConnection stalled(port);
  const std::string upload = ProgramUpload(port, "abc", std::string(1 << 20, 'x'));
  stalled.SendAll(std::string_view(upload).substr(0, upload.size() / 2));
  std::this_thread::sleep_for(milliseconds(200));

  const auto start = Clock::now();
  EXPECT_EQ(server.Stop(), 0);
  const double stop_ms = Milliseconds(Clock::now() - start);
  std::printf("stopped %.1f ms after SIGTERM\n", stop_ms);
  EXPECT_LT(stop_ms, 1000);
}

// The kernel drops at once what it holds for a reset connection, where a
// closed one would keep the unsent bytes for minutes.
TEST(HostileClientTest, ReadersThatStallPastTheBodyDeadlineAreReset) {
  ServerProcess server({"--body-timeout", "1"});
  const int port = server.Port();
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "big", std::string(16 << 20, 'p'))).status, 200);
  // A picture fetched before goes out from a memory file, which must keep the deadline too.
  ASSERT_EQ(Exchange(port, ProgramUpload(port, "fetched", std::string(8 << 20, 'f'))).status, 200);
  ASSERT_EQ(NewestPicture(port, "fetched").status, 200);
  // Clients that ask, then read nothing, their kernels taking only a few kilobytes.
  const TcpConnection answer(port, 2048);
  answer.SendAll("GET /pictures/big/latest.jpg HTTP/1.1\r\nHost: x\r\n\r\n");
  const TcpConnection file_answer(port, 2048);
  file_answer.SendAll("GET /pictures/fetched/latest.jpg HTTP/1.1\r\nHost: x\r\n\r\n");
  const TcpConnection stream(port, 2048);
  stream.SendAll("GET /pictures/ended/events HTTP/1.1\r\nHost: x\r\n\r\n");
  // Each delete sends the stream a message: 100 kB, far more than both kernels take.
  for (int deletes = 0; deletes < 2000; ++deletes) {
    ASSERT_EQ(Exchange(port, ProgramDelete(port, "ended")).status, 200);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_TRUE(answer.EndsInAReset());
  EXPECT_TRUE(file_answer.EndsInAReset());
  EXPECT_TRUE(stream.EndsInAReset());
}

TEST(HostileClientTest, ConnectionsPastTheCapAreRefusedWith503) {
  constexpr int kCap = 20;
  ServerProcess server({"--max-connections", std::to_string(kCap)});
  const int port = server.Port();
  std::vector<std::unique_ptr<TcpConnection>> held;
  for (int index = 0; index < kCap; ++index) {
    held.push_back(std::make_unique<TcpConnection>(port));
  }
  const HttpAnswer refused = GetUntilStatus(port, 503);
  EXPECT_EQ(refused.status, 503);
  EXPECT_NE(refused.body.find("too many open connections"), std::string::npos) << refused.body;

  held.clear();
  EXPECT_EQ(GetUntilStatus(port, 200).status, 200);
}

}  // namespace
}  // namespace lumivanta::test
