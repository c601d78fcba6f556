#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "server/RedisAddress.h"
#include "server/RedisClient.h"

namespace lumivanta::server {

// Connections to Redis shared by the threads that serve requests: each
// command takes an idle connection, or opens one. A connection that fails is
// dropped; for a moment after Redis could not be reached, commands fail at
// once rather than each waiting on a Redis that is gone. The log says when
// Redis is lost and when it is back.
class RedisConnections {
 public:
  // Throws RedisError when Redis cannot be reached or refuses this client's commands.
  RedisConnections(RedisAddress address, std::chrono::milliseconds time_limit);

  // Runs one command, or what use sends on a connection and returns its
  // last reply. Throws RedisError when Redis cannot be reached or the
  // connection breaks. A connection Redis closed while idle is replaced and
  // the work done again, so it must be safe to repeat.
  RedisClient::Reply Run(std::span<const std::string_view> command);
  RedisClient::Reply Run(const std::function<RedisClient::Reply(RedisClient&)>& use);

  const RedisAddress& Address() const { return address_; }

 private:
  // An idle connection, or nullptr; throws RedisError for a moment after Redis could not be reached.
  std::unique_ptr<RedisClient> Take();
  void Give(std::unique_ptr<RedisClient> client);
  void Lost(const RedisError& error, bool unreachable);

  const RedisAddress address_;
  const std::chrono::milliseconds time_limit_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<RedisClient>> idle_;
  std::chrono::steady_clock::time_point retry_after_;
  bool lost_ = false;
};

}  // namespace lumivanta::server
