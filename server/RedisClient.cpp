#include "server/RedisClient.h"

#include <cerrno>
#include <vector>

namespace lumivanta::server {

namespace {

timeval TimeVal(std::chrono::milliseconds duration) {
  return {.tv_sec = static_cast<time_t>(duration.count() / 1000),
          .tv_usec = static_cast<suseconds_t>((duration.count() % 1000) * 1000)};
}

std::string Describe(const RedisAddress& address) { return DescribeRedisAddress(address); }

std::string ErrorText(const redisReply& reply) { return std::string(reply.str, reply.len); }

}  // namespace

RedisClient::RedisClient(const RedisAddress& address, std::chrono::milliseconds time_limit) {
  const timeval limit = TimeVal(time_limit);
  context_.reset(address.unix_socket ? redisConnectUnixWithTimeout(address.unix_socket->c_str(), limit)
                                     : redisConnectWithTimeout(address.host.c_str(), address.port, limit));
  if (!context_) {
    throw RedisError("cannot reach Redis at " + Describe(address) + ": out of memory");
  }
  if (context_->err != 0) {
    throw RedisError("cannot reach Redis at " + Describe(address) + ": " + context_->errstr);
  }
  redisSetTimeout(context_.get(), limit);
  if (!address.password.empty()) {
    const Reply login =
        address.user.empty() ? Command({"AUTH", address.password}) : Command({"AUTH", address.user, address.password});
    if (login->type == REDIS_REPLY_ERROR) {
      throw RedisError("Redis at " + Describe(address) + " refused the login: " + ErrorText(*login));
    }
  }
  if (address.database != 0) {
    const Reply selected = Command({"SELECT", std::to_string(address.database)});
    if (selected->type == REDIS_REPLY_ERROR) {
      throw RedisError("Redis at " + Describe(address) + " refused database " + std::to_string(address.database) +
                       ": " + ErrorText(*selected));
    }
  }
}

RedisClient::Reply RedisClient::Command(std::initializer_list<std::string_view> arguments) {
  return Command(std::span<const std::string_view>(arguments.begin(), arguments.size()));
}

RedisClient::Reply RedisClient::Command(std::span<const std::string_view> arguments) {
  Append(arguments);
  return NextReply();
}

RedisClient::Reply RedisClient::Transaction(std::span<const std::span<const std::string_view>> commands) {
  constexpr std::string_view kMulti[] = {"MULTI"};
  constexpr std::string_view kExec[] = {"EXEC"};
  Append(kMulti);
  for (const std::span<const std::string_view> command : commands) {
    Append(command);
  }
  Append(kExec);
  // MULTI's and each command's acknowledgements come first; EXEC's reply is
  // last. A command refused on the way, such as for want of memory, says why
  // better than EXEC's refusal of them all.
  Reply refusal;
  for (std::size_t acknowledged = 0; acknowledged <= commands.size(); ++acknowledged) {
    Reply acknowledgement = NextReply();
    if (acknowledgement->type == REDIS_REPLY_ERROR && !refusal) {
      refusal = std::move(acknowledgement);
    }
  }
  Reply result = NextReply();
  return refusal && result->type == REDIS_REPLY_ERROR ? std::move(refusal) : std::move(result);
}

void RedisClient::Append(std::span<const std::string_view> arguments) {
  std::vector<const char*> data;
  std::vector<std::size_t> lengths;
  for (const std::string_view argument : arguments) {
    data.push_back(argument.data());
    lengths.push_back(argument.size());
  }
  if (redisAppendCommandArgv(context_.get(), static_cast<int>(data.size()), data.data(), lengths.data()) != REDIS_OK) {
    throw RedisError("the command for Redis could not be made: out of memory");
  }
}

RedisClient::Reply RedisClient::NextReply() {
  void* reply = nullptr;
  if (redisGetReply(context_.get(), &reply) != REDIS_OK || reply == nullptr) {
    // The socket's time limit shows as a read that would block.
    const bool timed_out = context_->err == REDIS_ERR_IO && (errno == EAGAIN || errno == EWOULDBLOCK);
    throw RedisError(std::string("the connection to Redis failed: ") + context_->errstr, timed_out);
  }
  return Reply(static_cast<redisReply*>(reply));
}

std::optional<std::string> RedisClient::StringOf(const redisReply& reply) {
  switch (reply.type) {
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
      return std::string(reply.str, reply.len);
    case REDIS_REPLY_NIL:
      return std::nullopt;
    case REDIS_REPLY_ERROR:
      throw RedisError("Redis answered: " + ErrorText(reply));
    default:
      throw RedisError("Redis answered with an unexpected kind of reply");
  }
}

}  // namespace lumivanta::server
