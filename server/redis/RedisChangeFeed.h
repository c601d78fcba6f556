#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "base/UniqueFd.h"
#include "server/redis/RedisAddress.h"
#include "server/redis/RedisClient.h"

namespace lumivanta::server {

// Follows one Redis publish/subscribe channel on a thread of its own and
// hands each message to a handler, on that thread. When the connection is
// lost it connects again, every fraction of a second, for as long as it
// lives. The following handler hears true after each (re)subscription, when
// messages may have been missed before, and false when the subscription is
// lost. A Redis that stops answering its pings counts as lost.
class RedisChangeFeed {
 public:
  using MessageHandler = std::function<void(std::string_view message)>;
  using FollowingHandler = std::function<void(bool following)>;

  RedisChangeFeed(RedisAddress address, std::string channel, MessageHandler on_message, FollowingHandler on_following);
  RedisChangeFeed(const RedisChangeFeed&) = delete;
  RedisChangeFeed& operator=(const RedisChangeFeed&) = delete;
  // Stops following at once.
  ~RedisChangeFeed();

 private:
  void Follow(const std::stop_token& stop);
  // Subscribes, and reads the subscription until the connection fails or the feed stops.
  void ReadUntilLost(const std::stop_token& stop);
  void ReadMessages(const std::stop_token& stop, redisContext* context);
  // Waits for the wake-up or the time; false once the feed stops.
  bool Pause(const std::stop_token& stop, int milliseconds);

  const RedisAddress address_;
  const std::string channel_;
  const MessageHandler on_message_;
  const FollowingHandler on_following_;
  UniqueFd wake_;
  std::jthread thread_;
};

}  // namespace lumivanta::server
