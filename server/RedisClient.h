#pragma once

#include <hiredis/hiredis.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "server/RedisAddress.h"

namespace lumivanta::server {

// A connection that failed or broke; the client is unusable afterwards.
class RedisError : public std::runtime_error {
 public:
  explicit RedisError(const std::string& what, bool timed_out = false)
      : std::runtime_error(what), timed_out_(timed_out) {}

  // Redis took the connection but did not answer within the time limit, as a hung Redis does.
  bool TimedOut() const { return timed_out_; }

 private:
  bool timed_out_;
};

// One blocking connection to Redis, with a time limit on connecting and on
// each command. Commands take their arguments as bytes, so pictures need no
// quoting. hiredis writes with write(2), so the process must ignore SIGPIPE,
// as lumivanta-server does, for a lost connection to come back as an error.
class RedisClient {
 public:
  struct ReplyDeleter {
    void operator()(redisReply* reply) const { freeReplyObject(reply); }
  };
  using Reply = std::unique_ptr<redisReply, ReplyDeleter>;

  // Throws RedisError when Redis cannot be reached, refuses the login or the database.
  RedisClient(const RedisAddress& address, std::chrono::milliseconds time_limit);

  // Throws RedisError when the connection fails; an error reply is returned as one.
  Reply Command(std::initializer_list<std::string_view> arguments);
  Reply Command(std::span<const std::string_view> arguments);
  // Runs the commands as one MULTI/EXEC transaction, sent at once, and returns
  // EXEC's reply: their replies in an array, or the error that kept all of
  // them from running, as the refused command's own when there is one.
  Reply Transaction(std::span<const std::span<const std::string_view>> commands);

  // For reading a subscription without blocking; the client keeps the context.
  redisContext* Context() const { return context_.get(); }

  // The reply's bytes for a string reply, nullopt for nil; throws RedisError for anything else.
  static std::optional<std::string> StringOf(const redisReply& reply);

 private:
  struct ContextDeleter {
    void operator()(redisContext* context) const { redisFree(context); }
  };
  void Append(std::span<const std::string_view> arguments);
  Reply NextReply();

  std::unique_ptr<redisContext, ContextDeleter> context_;
};

}  // namespace lumivanta::server
