#include "server/redis/RedisChangeFeed.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <system_error>

#include "server/redis/RedisClient.h"

namespace lumivanta::server {

namespace {

constexpr std::chrono::milliseconds kTimeLimit{2000};
// Between attempts to reach a lost Redis.
constexpr int kReconnectPauseMs = 200;
// A ping after this much silence; the connection counts as lost after a few unanswered.
constexpr int kPingAfterMs = 1000;
constexpr int kUnansweredPingsAllowed = 3;

bool IsPubSubReply(const redisReply& reply, std::string_view kind) {
  return reply.type == REDIS_REPLY_ARRAY && reply.elements >= 1 && reply.element[0]->type == REDIS_REPLY_STRING &&
         std::string_view(reply.element[0]->str, reply.element[0]->len) == kind;
}

}  // namespace

RedisChangeFeed::RedisChangeFeed(RedisAddress address, std::string channel, MessageHandler on_message,
                                 FollowingHandler on_following)
    : address_(std::move(address)),
      channel_(std::move(channel)),
      on_message_(std::move(on_message)),
      on_following_(std::move(on_following)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!wake_.IsValid()) {
    throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  thread_ = std::jthread([this](const std::stop_token& stop) { Follow(stop); });
}

RedisChangeFeed::~RedisChangeFeed() {
  thread_.request_stop();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
  thread_.join();
}

void RedisChangeFeed::Follow(const std::stop_token& stop) {
  while (!stop.stop_requested()) {
    ReadUntilLost(stop);
    if (!Pause(stop, kReconnectPauseMs)) {
      return;
    }
  }
}

void RedisChangeFeed::ReadUntilLost(const std::stop_token& stop) {
  std::optional<RedisClient> client;
  try {
    client.emplace(address_, kTimeLimit);
    const RedisClient::Reply subscribed = client->Command({"SUBSCRIBE", channel_});
    if (!IsPubSubReply(*subscribed, "subscribe")) {
      return;
    }
  } catch (const RedisError&) {
    return;
  }
  on_following_(true);
  ReadMessages(stop, client->Context());
  on_following_(false);
}

void RedisChangeFeed::ReadMessages(const std::stop_token& stop, redisContext* context) {
  int unanswered_pings = 0;
  while (!stop.stop_requested()) {
    std::array<pollfd, 2> watched{pollfd{.fd = context->fd, .events = POLLIN, .revents = 0},
                                  pollfd{.fd = wake_.Get(), .events = POLLIN, .revents = 0}};
    const int ready = ::poll(watched.data(), watched.size(), kPingAfterMs);
    if (ready < 0 && errno != EINTR) {
      return;
    }
    if (ready == 0) {
      if (++unanswered_pings > kUnansweredPingsAllowed) {
        return;
      }
      int done = 0;
      if (redisAppendCommand(context, "PING") != REDIS_OK || redisBufferWrite(context, &done) != REDIS_OK) {
        return;
      }
      continue;
    }
    if ((watched[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
      continue;
    }
    if (redisBufferRead(context) != REDIS_OK) {
      return;
    }
    for (;;) {
      void* raw = nullptr;
      if (redisGetReplyFromReader(context, &raw) != REDIS_OK) {
        return;
      }
      if (raw == nullptr) {
        break;
      }
      const RedisClient::Reply reply(static_cast<redisReply*>(raw));
      unanswered_pings = 0;
      if (IsPubSubReply(*reply, "message") && reply->elements == 3 && reply->element[2]->type == REDIS_REPLY_STRING) {
        on_message_(std::string_view(reply->element[2]->str, reply->element[2]->len));
      }
    }
  }
}

bool RedisChangeFeed::Pause(const std::stop_token& stop, int milliseconds) {
  pollfd watched{.fd = wake_.Get(), .events = POLLIN, .revents = 0};
  ::poll(&watched, 1, milliseconds);
  return !stop.stop_requested();
}

}  // namespace lumivanta::server
