#include "server/RedisConnections.h"

#include <iostream>

namespace lumivanta::server {

namespace {

// How long commands fail at once after Redis could not be reached.
constexpr std::chrono::milliseconds kRetryPause{100};

}  // namespace

RedisConnections::RedisConnections(RedisAddress address, std::chrono::milliseconds time_limit)
    : address_(std::move(address)), time_limit_(time_limit) {
  Give(std::make_unique<RedisClient>(address_, time_limit_));
}

RedisClient::Reply RedisConnections::Run(std::span<const std::string_view> command) {
  std::unique_ptr<RedisClient> client = Take();
  try {
    if (!client) {
      client = std::make_unique<RedisClient>(address_, time_limit_);
    }
    RedisClient::Reply reply = client->Command(command);
    Give(std::move(client));
    return reply;
  } catch (const RedisError& error) {
    Lost(error);
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

void RedisConnections::Lost(const RedisError& error) {
  const std::lock_guard lock(mutex_);
  // The other idle connections most likely broke as well.
  idle_.clear();
  retry_after_ = std::chrono::steady_clock::now() + kRetryPause;
  if (!lost_) {
    lost_ = true;
    std::cerr << "lumivanta-server: lost Redis: " << error.what() << "; uploads are refused until it is back"
              << std::endl;
  }
}

}  // namespace lumivanta::server
