#pragma once

// A private redis-server for one test, keeping nothing on disk. It listens on
// a Unix socket in a temporary folder (no port to collide with), and with
// Transport::kTcp also on a free port of 127.0.0.1, kept across restarts.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/UniqueFd.h"
#include "server/redis/RedisAddress.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

class RedisProcess {
 public:
  enum class Transport { kUnixSocket, kTcp };

  // extra_arguments go to redis-server, such as {"--requirepass", "secret"}.
  explicit RedisProcess(std::vector<std::string> extra_arguments = {}, Transport transport = Transport::kUnixSocket);

  // The address as lumivanta-server's --redis takes it.
  std::string Url() const { return tcp_ ? "redis://127.0.0.1:" + std::to_string(port_) : "unix://" + Socket(); }
  server::RedisAddress Address() const {
    return tcp_ ? server::RedisAddress{.host = "127.0.0.1", .port = port_}
                : server::RedisAddress{.unix_socket = Socket()};
  }

  // Ends the server, as a crash or a restart would; Start brings it back empty.
  void Stop() { child_.reset(); }
  void Start();

 private:
  // False when Redis ended before listening, as when its port is taken.
  bool TryStart();

  std::string Socket() const { return directory_.File("redis.sock"); }

  std::vector<std::string> extra_arguments_;
  bool tcp_ = false;
  int port_ = 0;
  TempDir directory_;
  std::optional<ChildProcess> child_;
};

}  // namespace lumivanta::test
