#pragma once

// A private redis-server for one test, listening only on a Unix socket in a
// temporary folder (no port to collide with), keeping nothing on disk.

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server/RedisAddress.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace lumivanta::test {

class RedisProcess {
 public:
  // extra_arguments go to redis-server, such as {"--requirepass", "secret"}.
  explicit RedisProcess(std::vector<std::string> extra_arguments = {}) : extra_arguments_(std::move(extra_arguments)) {
    Start();
  }

  // The address as lumivanta-server's --redis takes it.
  std::string Url() const { return "unix://" + Socket(); }
  server::RedisAddress Address() const { return {.unix_socket = Socket()}; }

  // Ends the server, as a crash or a restart would; Start brings it back empty.
  void Stop() { child_.reset(); }
  void Start() {
    std::filesystem::remove(Socket());
    std::vector<std::string> arguments{LUMIVANTA_REDIS_SERVER_PROGRAM,
                                       "--port",
                                       "0",
                                       "--unixsocket",
                                       Socket(),
                                       "--unixsocketperm",
                                       "700",
                                       "--save",
                                       "",
                                       "--appendonly",
                                       "no",
                                       "--loglevel",
                                       "warning",
                                       "--dir",
                                       directory_.Path().string()};
    arguments.insert(arguments.end(), extra_arguments_.begin(), extra_arguments_.end());
    child_.emplace(arguments, true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      if (std::filesystem::exists(Socket())) {
        return;
      }
      if (std::chrono::steady_clock::now() > deadline || !child_->IsRunning()) {
        throw std::runtime_error("redis-server did not start: " + child_->ErrorOutput());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  std::string Socket() const { return directory_.File("redis.sock"); }

  std::vector<std::string> extra_arguments_;
  TempDir directory_;
  std::optional<ChildProcess> child_;
};

}  // namespace lumivanta::test
