#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "server/RedisAddress.h"
#include "server/RedisClient.h"

namespace lumivanta::server {

// Connections to Redis shared by the threads that serve requests: each
// command takes an idle connection, or opens one. When Redis cannot be
// reached or does not answer within the time limit, it counts as lost:
// commands then fail at once rather than each waiting on it, while a thread
// of its own tries to reach it every moment, until it answers. The log says
// when Redis is lost and when it is back.
class RedisConnections {
 public:
  // Throws RedisError when Redis cannot be reached or refuses this client's commands.
  RedisConnections(RedisAddress address, std::chrono::milliseconds time_limit);
  RedisConnections(const RedisConnections&) = delete;
  RedisConnections& operator=(const RedisConnections&) = delete;

  // Runs one command, or what use sends on a connection and returns its
  // last reply. Throws RedisError when Redis is lost, cannot be reached or the
  // connection breaks. A connection Redis closed while idle is replaced and
  // the work done again, so it must be safe to repeat.
  RedisClient::Reply Run(std::span<const std::string_view> command);
  RedisClient::Reply Run(const std::function<RedisClient::Reply(RedisClient&)>& use);

  const RedisAddress& Address() const { return address_; }

 private:
  // An idle connection, or nullptr; throws RedisError while Redis is lost.
  std::unique_ptr<RedisClient> Take();
  // Keeps a connection that just worked; Redis is back if it was lost.
  void Give(std::unique_ptr<RedisClient> client);
  void BackLocked();
  void Lost(const RedisError& error);
  // While Redis is lost, tries to reach it, a moment after each failure.
  void Probe(const std::stop_token& stop);

  const RedisAddress address_;
  const std::chrono::milliseconds time_limit_;
  std::mutex mutex_;
  std::condition_variable_any lost_changed_;
  std::vector<std::unique_ptr<RedisClient>> idle_;
  bool lost_ = false;
  // Last, so that it stops before the rest goes.
  std::jthread prober_;
};

}  // namespace lumivanta::server
