#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "server/redis/RecentPictures.h"
#include "server/redis/RedisAddress.h"
#include "server/redis/RedisChangeFeed.h"
#include "server/redis/RedisConnections.h"
#include "server/store/PictureStore.h"
#include "server/store/StoreLimits.h"

namespace lumivanta::server {

struct RedisStoreOptions {
  RedisAddress address;
  // Bounds on all instances' pictures together.
  StoreLimits limits;
  // How long a name's newest picture is kept after its upload, and an ended name remembered.
  std::chrono::seconds lifetime{3600};
};

// Pictures kept in Redis, shared by every instance of the server that uses
// the same Redis and database. Each change is published there, and every
// instance hears every change, its own included, through OnChange; while it
// hears them, it keeps the newest pictures it read, so that their viewers
// cost Redis one read per picture and instance.
class RedisPictureStore final : public PictureStore {
 public:
  // Throws RedisError when Redis cannot be reached or refuses the login.
  explicit RedisPictureStore(RedisStoreOptions options);

  void Store(const std::string& name, PictureBytes bytes) override;
  void Delete(const std::string& name) override;
  std::optional<Picture> Newest(const std::string& name) const override;
  NameState State(const std::string& name) const override;
  bool ReadsMayWait() const override { return true; }
  bool ChangesMayWait() const override { return true; }
  std::optional<std::chrono::milliseconds> TimeLimit() const override;

  // Every instance hears every change, its own included.
  void FollowChanges() override;
  void StopFollowing() override { feed_.reset(); }

  struct Change {
    std::string name;
    NameState state;
    // A name dropped for the bounds or its lifetime: viewers are not told, as with pictures kept in memory.
    bool dropped = false;
  };
  // A published change as the feed carries it: "P NAME SEQUENCE UPLOADED_MS BYTES" (or "L ..." for
  // a picture renewed by the same bytes), "E NAME" or "X NAME".
  static std::optional<Change> ParseChange(std::string_view message);

 private:
  struct ReadState {
    NameState state;
    // With a picture: its bytes when asked for, and when Redis lets it expire.
    PictureBytes bytes;
    std::string digest;
    std::chrono::steady_clock::time_point expires_at;
  };
  ReadState Read(const std::string& name, bool with_picture) const;
  // As Read, or the last picture read of the name when Redis is out of reach.
  ReadState ReadOrLastRead(const std::string& name, bool with_picture) const;
  // Runs the commands as one transaction and returns their replies; throws
  // StoreUnavailable when Redis cannot be reached or refuses any of them.
  RedisClient::Reply Run(std::span<const std::span<const std::string_view>> commands) const;

  const RedisStoreOptions options_;
  const std::string channel_;
  mutable RedisConnections connections_;
  mutable RecentPictures recent_;
  std::optional<RedisChangeFeed> feed_;
};

}  // namespace lumivanta::server
