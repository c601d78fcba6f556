#include "server/RedisConnections.h"

#include <iostream>

namespace lumivanta::server {

namespace {

// How long commands fail at once after Redis could not be reached, rather
// than each waiting on a connection attempt.
constexpr std::chrono::milliseconds kRetryPause{100};

}  // namespace

RedisConnections::RedisConnections(RedisAddress address, std::chrono::milliseconds time_limit)
    : address_(std::move(address)), time_limit_(time_limit) {
  auto first = std::make_unique<RedisClient>(address_, time_limit_);
  // A Redis that wants a login takes the connection but refuses every command.
  const RedisClient::Reply pong = first->Command({"PING"});
  if (pong->type != REDIS_REPLY_STATUS) {
    throw RedisError("Redis at " + DescribeRedisAddress(address_) + " refused: " +
                     (pong->type == REDIS_REPLY_ERROR ? std::string(pong->str, pong->len) : "an unexpected reply"));
  }
  Give(std::move(first));
}

RedisClient::Reply RedisConnections::Run(std::span<const std::string_view> command) {
  return Run([command](RedisClient& client) { return client.Command(command); });
}

RedisClient::Reply RedisConnections::Run(const std::function<RedisClient::Reply(RedisClient&)>& use) {
  // An idle connection may have been closed by Redis meanwhile (its timeout,
  // a restart); the work is then tried once more on a new one.
  if (std::unique_ptr<RedisClient> idle = Take(); idle) {
    try {
      RedisClient::Reply reply = use(*idle);
      Give(std::move(idle));
      return reply;
    } catch (const RedisError&) {
      const std::lock_guard lock(mutex_);
      idle_.clear();
    }
  }
  std::unique_ptr<RedisClient> client;
  try {
    client = std::make_unique<RedisClient>(address_, time_limit_);
  } catch (const RedisError& error) {
    Lost(error, true);
    throw;
  }
  try {
    RedisClient::Reply reply = use(*client);
    Give(std::move(client));
    return reply;
  } catch (const RedisError& error) {
    Lost(error, false);
    throw;
  }
}

std::unique_ptr<RedisClient> RedisConnections::Take() {
  const std::lock_guard lock(mutex_);
  if (lost_ && std::chrono::steady_clock::now() < retry_after_) {
    throw RedisError("Redis at " + DescribeRedisAddress(address_) + " was lost a moment ago");
  }
  if (idle_.empty()) {
    return nullptr;
  }
  std::unique_ptr<RedisClient> client = std::move(idle_.back());
  idle_.pop_back();
  return client;
}

void RedisConnections::Give(std::unique_ptr<RedisClient> client) {
  const std::lock_guard lock(mutex_);
  if (lost_) {
    lost_ = false;
    std::cerr << "lumivanta-server: Redis at " << DescribeRedisAddress(address_) << " is back" << std::endl;
  }
  idle_.push_back(std::move(client));
}

void RedisConnections::Lost(const RedisError& error, bool unreachable) {
  const std::lock_guard lock(mutex_);
  // The other idle connections most likely broke as well.
  idle_.clear();
  if (unreachable) {
    retry_after_ = std::chrono::steady_clock::now() + kRetryPause;
  }
  if (!lost_) {
    lost_ = true;
    std::cerr << "lumivanta-server: lost Redis: " << error.what() << "; uploads and pictures get 503 until it is back"
              << std::endl;
  }
}

}  // namespace lumivanta::server
