#include "server/redis/RecentPictures.h"

namespace lumivanta::server {

void RecentPictures::SetFollowing(bool following) {
  const std::lock_guard lock(mutex_);
  following_ = following;
  if (following) {
    Clear();
  }
}

void RecentPictures::Announce(const std::string& name, std::optional<std::uint64_t> sequence) {
  const std::lock_guard lock(mutex_);
  if (!following_) {
    return;
  }
  auto [found, added] = entries_.try_emplace(name);
  Entry& entry = found->second;
  if (added) {
    entry.position = order_.insert(order_.end(), name);
  } else {
    order_.splice(order_.end(), order_, entry.position);
  }
  entry.announced = sequence;
  if (entry.picture && entry.picture->sequence != sequence) {
    DropPicture(entry);
  }
  while (entries_.size() > limits_.max_names) {
    const auto oldest = entries_.find(order_.front());
    DropPicture(oldest->second);
    entries_.erase(oldest);
    order_.pop_front();
  }
}

void RecentPictures::Renew(const std::string& name, std::uint64_t sequence,
                           std::chrono::system_clock::time_point uploaded_at,
                           std::chrono::steady_clock::time_point expires_at) {
  const std::lock_guard lock(mutex_);
  const auto found = entries_.find(name);
  if (found == entries_.end() || !found->second.picture || found->second.picture->sequence != sequence) {
    return;
  }
  found->second.picture->uploaded_at = uploaded_at;
  found->second.expires_at = expires_at;
}

void RecentPictures::Offer(const std::string& name, const Picture& picture,
                           std::chrono::steady_clock::time_point expires_at) {
  const std::lock_guard lock(mutex_);
  const auto found = entries_.find(name);
  if (!following_ || found == entries_.end() || found->second.announced != picture.sequence || found->second.picture) {
    return;
  }
  const std::size_t size = picture.bytes->size();
  if (size > limits_.max_picture_bytes) {
    return;
  }
  // Room is made by dropping the pictures of the names least recently announced.
  for (auto name_at = order_.begin(); picture_bytes_ + size > limits_.max_picture_bytes && name_at != order_.end();
       ++name_at) {
    DropPicture(entries_.find(*name_at)->second);
  }
  found->second.picture = picture;
  found->second.expires_at = expires_at;
  picture_bytes_ += size;
}

std::optional<Picture> RecentPictures::Find(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  return following_ ? FindLocked(name) : std::nullopt;
}

std::optional<Picture> RecentPictures::LastRead(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  return FindLocked(name);
}

std::optional<Picture> RecentPictures::FindLocked(const std::string& name) const {
  const auto found = entries_.find(name);
  if (found == entries_.end() || !found->second.picture ||
      std::chrono::steady_clock::now() >= found->second.expires_at) {
    return std::nullopt;
  }
  return found->second.picture;
}

void RecentPictures::DropPicture(Entry& entry) {
  if (entry.picture) {
    picture_bytes_ -= entry.picture->bytes->size();
    entry.picture.reset();
  }
}

void RecentPictures::Clear() {
  entries_.clear();
  order_.clear();
  picture_bytes_ = 0;
}

}  // namespace lumivanta::server
