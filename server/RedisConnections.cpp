#include "server/RedisConnections.h"

#include <iostream>

namespace lumivanta::server {

namespace {

// Between attempts to reach a lost Redis.
constexpr std::chrono::milliseconds kProbePause{100};
// An attempt waits no longer, so that the server stops promptly even while Redis hangs.
constexpr std::chrono::milliseconds kProbeTimeLimit{1000};

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
  prober_ = std::jthread([this](const std::stop_token& stop) { Probe(stop); });
}

RedisClient::Reply RedisConnections::Run(std::span<const std::string_view> command) {
  return Run([command](RedisClient& client) { return client.Command(command); });
}

RedisClient::Reply RedisConnections::Run(const std::function<RedisClient::Reply(RedisClient&)>& use) {
  // An idle connection may have been closed by Redis meanwhile (its timeout,
  // a restart); the work is then tried once more on a new one. One that
  // timed out found Redis hung, and another would only wait as long.
  if (std::unique_ptr<RedisClient> idle = Take(); idle) {
    try {
      RedisClient::Reply reply = use(*idle);
      Give(std::move(idle));
      return reply;
    } catch (const RedisError& error) {
      if (error.TimedOut()) {
        Lost(error);
        throw;
      }
      const std::lock_guard lock(mutex_);
      idle_.clear();
    }
  }
  try {
    auto client = std::make_unique<RedisClient>(address_, time_limit_);
    RedisClient::Reply reply = use(*client);
    Give(std::move(client));
    return reply;
  } catch (const RedisError& error) {
    Lost(error);
    throw;
  }
}

std::unique_ptr<RedisClient> RedisConnections::Take() {
  const std::lock_guard lock(mutex_);
  if (lost_) {
    throw RedisError("Redis at " + DescribeRedisAddress(address_) + " is out of reach");
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
  BackLocked();
  idle_.push_back(std::move(client));
}

void RedisConnections::BackLocked() {
  if (lost_) {
    lost_ = false;
    std::cerr << "lumivanta-server: Redis at " << DescribeRedisAddress(address_) << " is back" << std::endl;
  }
}

void RedisConnections::Lost(const RedisError& error) {
  {
    const std::lock_guard lock(mutex_);
    // The other idle connections most likely broke or hang as well.
    idle_.clear();
    if (lost_) {
      return;
    }
    lost_ = true;
    std::cerr << "lumivanta-server: lost Redis: " << error.what() << "; uploads and pictures get 503 until it is back"
              << std::endl;
  }
  lost_changed_.notify_all();
}

void RedisConnections::Probe(const std::stop_token& stop) {
  std::unique_lock lock(mutex_);
  while (lost_changed_.wait(lock, stop, [this] { return lost_; }) && !stop.stop_requested()) {
    lock.unlock();
    bool answered = false;
    try {
      RedisClient probe(address_, kProbeTimeLimit);
      // A Redis still loading its data answers with an error.
      answered = probe.Command({"PING"})->type == REDIS_REPLY_STATUS;
    } catch (const RedisError&) {
    }
    lock.lock();
    if (answered) {
      BackLocked();
    } else {
      lost_changed_.wait_for(lock, stop, kProbePause, [] { return false; });
    }
  }
}

}  // namespace lumivanta::server
