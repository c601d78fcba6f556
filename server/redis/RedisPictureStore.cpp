#include "server/redis/RedisPictureStore.h"

#include <algorithm>
#include <charconv>
#include <memory>

#include "base/Report.h"
#include "server/redis/RedisScripts.h"
#include "server/store/PictureDigest.h"
#include "server/store/StreamName.h"

namespace lumivanta::server {

namespace {

namespace scripts = redis_scripts;

constexpr std::chrono::milliseconds kTimeLimit{2000};

std::string Key(std::string_view prefix, const std::string& name) { return std::string(prefix) + name; }

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::chrono::system_clock::time_point FromMilliseconds(std::uint64_t milliseconds) {
  return std::chrono::system_clock::time_point(std::chrono::milliseconds(milliseconds));
}

std::string_view TextOf(const redisReply& reply) { return std::string_view(reply.str, reply.len); }

}  // namespace

RedisPictureStore::RedisPictureStore(RedisStoreOptions options)
    : options_(std::move(options)),
      // Channels are not per database, so the database is part of the channel's name.
      channel_(std::string(scripts::kPrefix) + "changes:" + std::to_string(options_.address.database)),
      connections_(options_.address, kTimeLimit),
      recent_(options_.limits) {}

void RedisPictureStore::FollowChanges() {
  feed_.emplace(
      options_.address, channel_,
      [this](std::string_view message) {
        if (const std::optional<Change> change = ParseChange(message); change) {
          const NameState& state = change->state;
          recent_.Announce(change->name, state.newest ? std::optional(state.newest->sequence) : std::nullopt);
          if (state.renewed) {
            recent_.Renew(change->name, state.newest->sequence, state.newest->uploaded_at,
                          std::chrono::steady_clock::now() + options_.lifetime);
          }
          if (!change->dropped) {
            Changed(change->name, state);
          }
        }
      },
      [this](bool following) {
        recent_.SetFollowing(following);
        if (following) {
          Stale();
        }
      });
}

RedisClient::Reply RedisPictureStore::Run(std::span<const std::span<const std::string_view>> commands) const {
  RedisClient::Reply reply;
  try {
    reply = connections_.Run([commands](RedisClient& client) { return client.Transaction(commands); });
  } catch (const RedisError& error) {
    throw StoreUnavailable(error.what());
  }
  // Such as a Redis out of memory, which refuses the whole transaction; the next request may fare better.
  std::string_view refusal;
  if (reply->type == REDIS_REPLY_ERROR) {
    refusal = TextOf(*reply);
  } else if (reply->type != REDIS_REPLY_ARRAY || reply->elements != commands.size()) {
    refusal = "the transaction did not run";
  } else {
    for (std::size_t index = 0; index < reply->elements && refusal.empty(); ++index) {
      if (reply->element[index]->type == REDIS_REPLY_ERROR) {
        refusal = TextOf(*reply->element[index]);
      }
    }
  }
  if (!refusal.empty()) {
    ReportServerLine("Redis refused: " + std::string(refusal));
    throw StoreUnavailable("Redis refused: " + std::string(refusal));
  }
  return reply;
}

void RedisPictureStore::Store(const std::string& name, PictureBytes bytes) {
  const std::string picture_key = Key(scripts::kPicturePrefix, name);
  const std::string ended_key = Key(scripts::kEndedPrefix, name);
  const std::string size = std::to_string(bytes->size());
  const std::string lifetime_ms = std::to_string(options_.lifetime.count() * 1000);
  const std::string max_names = std::to_string(options_.limits.max_names);
  const std::string max_bytes = std::to_string(options_.limits.max_picture_bytes);
  const std::string digest = PictureDigest(*bytes);
  // clang-format off
  const std::string_view bookkeeping[] = {
      "EVAL", scripts::StoreScript(), "7",
      picture_key, ended_key, scripts::kNames, scripts::kSizes, scripts::kBytes, scripts::kExpiry, scripts::kSequence,
      name, size, lifetime_ms, max_names, max_bytes, channel_, digest};
  // clang-format on
  // Written again when the script renewed the picture instead: the same bytes.
  const std::string_view picture[] = {"HSET", picture_key, "jpeg", *bytes};
  const std::span<const std::string_view> commands[] = {bookkeeping, picture};
  Run(commands);
}

void RedisPictureStore::Delete(const std::string& name) {
  const std::string picture_key = Key(scripts::kPicturePrefix, name);
  const std::string ended_key = Key(scripts::kEndedPrefix, name);
  const std::string lifetime_ms = std::to_string(options_.lifetime.count() * 1000);
  // clang-format off
  const std::string_view command[] = {
      "EVAL", scripts::DeleteScript(), "6",
      picture_key, ended_key, scripts::kNames, scripts::kSizes, scripts::kBytes, scripts::kExpiry,
      name, lifetime_ms, channel_};
  // clang-format on
  const std::span<const std::string_view> commands[] = {command};
  Run(commands);
}

RedisPictureStore::ReadState RedisPictureStore::Read(const std::string& name, bool with_picture) const {
  const std::string picture_key = Key(scripts::kPicturePrefix, name);
  const std::string ended_key = Key(scripts::kEndedPrefix, name);
  const std::string_view fields[] = {"HMGET", picture_key, "sequence", "uploaded_ms", "jpeg", "digest"};
  const std::string_view size[] = {"HSTRLEN", picture_key, "jpeg"};
  const std::string_view time_to_live[] = {"PTTL", picture_key};
  const std::string_view ended[] = {"EXISTS", ended_key};
  const std::span<const std::string_view> commands[] = {std::span(fields).first(with_picture ? 6 : 4), size,
                                                        time_to_live, ended};
  const RedisClient::Reply reply = Run(commands);

  const redisReply* const* answers = reply->element;
  const redisReply& values = *answers[0];
  const auto unexpected = [] { return StoreUnavailable("Redis answered a read with an unexpected reply"); };
  if (values.type != REDIS_REPLY_ARRAY || values.elements != (with_picture ? 4u : 2u) ||
      answers[1]->type != REDIS_REPLY_INTEGER || answers[2]->type != REDIS_REPLY_INTEGER ||
      answers[3]->type != REDIS_REPLY_INTEGER) {
    throw unexpected();
  }
  if (values.element[0]->type == REDIS_REPLY_NIL) {
    return {.state = NameState{.ended = answers[3]->integer == 1}};
  }
  const auto text = [&values](std::size_t index) {
    return values.element[index]->type == REDIS_REPLY_STRING ? TextOf(*values.element[index]) : std::string_view();
  };
  const std::optional<std::uint64_t> sequence = Number(text(0));
  const std::optional<std::uint64_t> uploaded_ms = Number(text(1));
  if (!sequence || !uploaded_ms || (with_picture && values.element[2]->type != REDIS_REPLY_STRING)) {
    throw unexpected();
  }
  ReadState read;
  read.state.newest = NameState::Newest{.sequence = *sequence,
                                        .uploaded_at = FromMilliseconds(*uploaded_ms),
                                        .bytes = static_cast<std::size_t>(answers[1]->integer)};
  read.expires_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0LL, answers[2]->integer));
  if (with_picture) {
    read.bytes = SharedText(text(2));
    // Pictures stored before digests were kept have none.
    read.digest = values.element[3]->type == REDIS_REPLY_STRING ? std::string(text(3)) : PictureDigest(*read.bytes);
  }
  return read;
}

std::optional<std::chrono::milliseconds> RedisPictureStore::TimeLimit() const { return kTimeLimit; }

RedisPictureStore::ReadState RedisPictureStore::ReadOrLastRead(const std::string& name, bool with_picture) const {
  try {
    return Read(name, with_picture);
  } catch (const StoreUnavailable&) {
    // Out of reach: the last picture this instance read of the name is still worth showing.
    const std::optional<Picture> last = recent_.LastRead(name);
    if (!last) {
      throw;
    }
    return {.state = {.newest = NameState::Newest{last->sequence, last->uploaded_at, last->bytes->size()}},
            .bytes = last->bytes,
            .digest = last->digest};
  }
}

std::optional<Picture> RedisPictureStore::Newest(const std::string& name) const {
  if (std::optional<Picture> recent = recent_.Find(name); recent) {
    return recent;
  }
  ReadState read = ReadOrLastRead(name, true);
  if (!read.state.newest) {
    return std::nullopt;
  }
  Picture picture{.bytes = std::move(read.bytes),
                  .sequence = read.state.newest->sequence,
                  .uploaded_at = read.state.newest->uploaded_at,
                  .digest = std::move(read.digest)};
  recent_.Offer(name, picture, read.expires_at);
  return picture;
}

NameState RedisPictureStore::State(const std::string& name) const {
  if (const std::optional<Picture> recent = recent_.Find(name); recent) {
    return {.newest = NameState::Newest{recent->sequence, recent->uploaded_at, recent->bytes->size()}};
  }
  return ReadOrLastRead(name, false).state;
}

std::optional<RedisPictureStore::Change> RedisPictureStore::ParseChange(std::string_view message) {
  const auto next_word = [&message]() {
    const std::size_t space = message.find(' ');
    const std::string_view word = message.substr(0, space);
    message = space == std::string_view::npos ? std::string_view() : message.substr(space + 1);
    return word;
  };
  const std::string_view kind = next_word();
  const std::string name(next_word());
  if (!IsValidStreamName(name)) {
    return std::nullopt;
  }
  if ((kind == "E" || kind == "X") && message.empty()) {
    return Change{.name = name, .state = NameState{.ended = kind == "E"}, .dropped = kind == "X"};
  }
  const std::optional<std::uint64_t> sequence = Number(next_word());
  const std::optional<std::uint64_t> uploaded_ms = Number(next_word());
  const std::optional<std::uint64_t> bytes = Number(next_word());
  if ((kind != "P" && kind != "L") || !sequence || !uploaded_ms || !bytes || !message.empty()) {
    return std::nullopt;
  }
  return Change{.name = name,
                .state = NameState{.newest = NameState::Newest{.sequence = *sequence,
                                                               .uploaded_at = FromMilliseconds(*uploaded_ms),
                                                               .bytes = static_cast<std::size_t>(*bytes)},
                                   .renewed = kind == "L"}};
}

}  // namespace lumivanta::server
