#include "tests/support/RedisProcess.h"

#include "tests/support/RawHttp.h"

namespace lumivanta::test {
RedisProcess::RedisProcess(std::vector<std::string> extra_arguments, Transport transport)
    : extra_arguments_(std::move(extra_arguments)), tcp_(transport == Transport::kTcp) {
  Start();
}

void RedisProcess::Start() {
  // A free port may be taken by someone else before Redis binds it; then another is tried.
  for (int attempt = 0;; ++attempt) {
    if (tcp_ && (port_ == 0 || attempt > 0)) {
      port_ = FreeLoopbackPort();
    }
    if (TryStart() || !tcp_ || attempt == 4) {
      return;
    }
  }
}

bool RedisProcess::TryStart() {
  std::filesystem::remove(Socket());
  std::vector<std::string> arguments{LUMIVANTA_REDIS_SERVER_PROGRAM,
                                     "--port",
                                     std::to_string(tcp_ ? port_ : 0),
                                     "--bind",
                                     "127.0.0.1",
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
  // Redis makes its Unix socket after its TCP port, so the socket means both listen.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    if (std::filesystem::exists(Socket())) {
      return true;
    }
    if (!child_->IsRunning() && tcp_) {
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline || !child_->IsRunning()) {
      throw std::runtime_error("redis-server did not start: " + child_->ErrorOutput());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace lumivanta::test
