#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "server/store/Picture.h"
#include "server/store/StoreLimits.h"

namespace lumivanta::server {

// The newest pictures this instance has read from a shared store, each kept
// for as long as the store's change feed says it is still the newest, so that
// the viewers of a picture cost one read of the store per instance rather
// than one each. While the feed is not following, a change could pass
// unheard: what was kept is then found only as the last picture read, for
// when the store is out of reach, and dropped once the feed follows again.
// Within StoreLimits; safe to use from many threads.
class RecentPictures {
 public:
  explicit RecentPictures(StoreLimits limits) : limits_(limits) {}

  // Whether the feed follows every change.
  void SetFollowing(bool following);
  // The feed's word on a name: its newest sequence, or nullopt for a deleted name.
  void Announce(const std::string& name, std::optional<std::uint64_t> sequence);
  // The feed's word that the name's picture, of this sequence, was uploaded again:
  // a kept copy takes the new upload time and lasts as long as the store keeps it.
  void Renew(const std::string& name, std::uint64_t sequence, std::chrono::system_clock::time_point uploaded_at,
             std::chrono::steady_clock::time_point expires_at);
  // A picture just read; kept when it is the newest the feed announced, and
  // found until the store lets it expire.
  void Offer(const std::string& name, const Picture& picture, std::chrono::steady_clock::time_point expires_at);
  std::optional<Picture> Find(const std::string& name) const;
  // The newest picture read of the name that has not expired, vouched for by the feed or not.
  std::optional<Picture> LastRead(const std::string& name) const;

 private:
  struct Entry {
    std::optional<std::uint64_t> announced;
    std::optional<Picture> picture;
    std::chrono::steady_clock::time_point expires_at;
    std::list<std::string>::iterator position;
  };

  std::optional<Picture> FindLocked(const std::string& name) const;
  void DropPicture(Entry& entry);
  void Clear();

  const StoreLimits limits_;
  mutable std::mutex mutex_;
  bool following_ = false;
  std::map<std::string, Entry, std::less<>> entries_;
  // Names from the least recently announced, for the bounds.
  std::list<std::string> order_;
  std::size_t picture_bytes_ = 0;
};

}  // namespace lumivanta::server
